#include "TEventSerie.h"

#include "StoredFileTags.h"
#include "TMicroWriter.h"

void TEventSerie::WriteTo(TMicroWriter& writer) const {
    writer.BeginFolding(StoredTag::EventSerie);
    writer.WriteStringRecord(StoredTag::EventSerieCaption, Caption);
    for (const TEventPoint& point : Points) {
        writer.BeginFolding(StoredTag::EventPoint);
        writer.WriteDoubleRecord(StoredTag::EventPointTime, point.X);
        writer.WriteStringRecord(StoredTag::EventPointText, point.Text);
        writer.EndFolding();
    }
    writer.EndFolding();
}
