#pragma once

#include <QString>

#include "NamespaceNormalization.h"
#include "PendingText.h"

// The kinds of XML message an analyzer sends.
enum class TMessageType {
    mtUnknown = 0,
    mtTarvoData = 1,           // patient-data document, 2004 schema
    mtTarvoFlexData = 2,       // patient-data document, 2008 or 2012 schema
    mtXMLTarvoLiveData = 3,    // live measurement
    mtXMLTarvoAdmission = 4,   // admission with events
    mtXMLTarvoAutoControl = 5, // automatic control sample
};

// Finds the message's type by the texts it contains; for patient-data documents removes the
// namespace attribute from the text, so that the document binds without a namespace.
TMessageType ClassifyMessage(QString& message);

// A UTF-16 message declares "utf-16"; the first occurrence in a chunk becomes "utf-8" so that
// the live message forms are recognised.
QString PrepareChunk(const QString& chunk);
// Appends the chunk, prepared as PrepareChunk prepares it, to the pending text without copying
// it first.
void AppendPreparedChunk(PendingText& pending, QStringView chunk);

// The same fix for one cut message, in its XML declaration only: every UTF-16 message is then
// recognised, also the second of a chunk and one whose "utf-16" arrived split over two reads.
QString PrepareMessage(QString message);

QString messageTypeName(TMessageType type);
