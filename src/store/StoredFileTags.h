#pragma once

#include <QtGlobal>

// Record tags of the files this program writes and reads.
namespace StoredTag {
inline constexpr qint32 Root = 1;
inline constexpr qint32 Header = 9;

// File information folding.
inline constexpr qint32 FileInformation = 3;
inline constexpr qint32 FileKind = 2;
inline constexpr qint32 Reserved = 30;
inline constexpr qint32 PatientID = 203;
inline constexpr qint32 PatientName = 204;

// Monitor information folding.
inline constexpr qint32 MonitorInfo = 200;
inline constexpr qint32 MonitorName = 201;
inline constexpr qint32 MonitorIdentity = 202;

// Reserved space for series definitions to come.
inline constexpr qint32 ReservedSpace = 205;

// Series definition folding.
inline constexpr qint32 Serie = 210;
inline constexpr qint32 SerieIndex = 211;
inline constexpr qint32 SerieParameterName = 212;
inline constexpr qint32 SerieMeasurementPlace = 213;
inline constexpr qint32 SerieExtraName = 214;
inline constexpr qint32 SerieUnit = 215;
inline constexpr qint32 SerieParameterID = 216;

// Points, appended after the root folding.
inline constexpr qint32 PlainPoint = 220;
inline constexpr qint32 PointWithoutText = 221;
inline constexpr qint32 ResultPoint = 222;
inline constexpr qint32 EndPoint = 85;

// Video records, accepted and skipped.
inline constexpr qint32 VideoFrame = 230;
inline constexpr qint32 VideoInformation = 232;

// Holders of single objects.
inline constexpr qint32 SingleSerie = 1000;
inline constexpr qint32 SinglePlot = 1001;

// The event series of an events file, in this program's own form:
//   folding 1100 event series { string 1101 caption; folding 1110 event point { date-time 1111
//   time; string 1112 text } ... }
inline constexpr qint32 EventSerie = 1100;
inline constexpr qint32 EventSerieCaption = 1101;
inline constexpr qint32 EventPoint = 1110;
inline constexpr qint32 EventPointTime = 1111;
inline constexpr qint32 EventPointText = 1112;
} // namespace StoredTag
