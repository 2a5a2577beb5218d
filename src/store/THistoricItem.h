#pragma once

#include <QDateTime>

#include "IPersistIT.h"

class Clock;

// A stored item that remembers when it was made (record 2034). Subclasses add their own
// records and their record type.
class THistoricItem : public TPersistIt {
public:
    static constexpr qint32 kTimeStampTag = 2034;

    explicit THistoricItem(const Clock& clock);
    THistoricItem();

    double TimeStamp = 0.0; // days since 1899-12-30

    void ReadRecord(qint32 tag, TMicroReader& reader) override;
    void Write(TMicroWriter& writer) const override;
};
