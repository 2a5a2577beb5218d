#include "THistoricItem.h"

#include "Clock.h"
#include "OleDateTime.h"
#include "TMicroReader.h"
#include "TMicroWriter.h"

THistoricItem::THistoricItem(const Clock& clock)
    : TimeStamp(OleDateTime::fromDateTime(clock.now())) {}

THistoricItem::THistoricItem() : THistoricItem(SystemClock::instance()) {}

void THistoricItem::ReadRecord(qint32 tag, TMicroReader& reader) {
    if (tag == kTimeStampTag)
        TimeStamp = reader.ReadDouble();
    else
        TPersistIt::ReadRecord(tag, reader);
}

void THistoricItem::Write(TMicroWriter& writer) const {
    writer.WriteDoubleRecord(kTimeStampTag, TimeStamp);
}
