#include "StoredFileParser.h"

#include <cstring>
#include <map>

#include <QtEndian>

#include "ByteCursor.h"
#include "StoredFileTags.h"
#include "StreamObjectReader.h"
#include "TarvoError.h"
#include "ZelTypes.h"

namespace {

bool isPointTag(qint32 tag) {
    return tag == StoredTag::ResultPoint || tag == StoredTag::PointWithoutText ||
           tag == StoredTag::PlainPoint || tag == StoredTag::EndPoint;
}

// Records that writers append after the root folding of a monitor data file.
bool isAppendedTag(qint32 tag) {
    return isPointTag(tag) || tag == StoredTag::VideoFrame || tag == StoredTag::VideoInformation;
}

// A complete, well-formed point record of the current format starting at offset.
bool completePointAt(const QByteArray& data, qint64 offset) {
    if (offset + 8 > data.size())
        return false;
    const qint32 tag = qFromLittleEndian<qint32>(data.constData() + offset);
    if (!isPointTag(tag))
        return false;
    const qint32 size = qFromLittleEndian<qint32>(data.constData() + offset + 4);
    if (size < 18 || offset + 8 + size > data.size())
        return false;
    ByteCursor cursor(data.constData() + offset + 8, size);
    cursor.read<qint16>();
    cursor.read<double>();
    cursor.read<double>();
    if (tag == StoredTag::ResultPoint || tag == StoredTag::PointWithoutText) {
        cursor.read<quint8>();
        if (tag == StoredTag::ResultPoint)
            cursor.readString(true);
        cursor.readString(true);
        cursor.read<qint32>();
    }
    return cursor.ok() && cursor.remaining() == 0;
}

// The walk over a stored file: the event series of an events file, or, once the file kind says
// monitor data, the monitor information, the series definitions and their points.
class ParseRun : public StreamObjectReader {
public:
    ParseRun(TStoredFileContent& content, bool stopAtReservedSpace, bool keepPoints)
        : m_content(content), m_stopAtReservedSpace(stopAtReservedSpace), m_keepPoints(keepPoints) {
    }

    void finish() {
        for (const auto& [index, missing] : m_missingSeries) {
            m_content.problems.push_back(
                {TFileProblem::Kind::PointForMissingSerie, missing.firstOffset,
                 QStringLiteral("%1 point record(s) for series %2, which the file does not define")
                     .arg(missing.count)
                     .arg(index)});
        }
    }

protected:
    Creator objectOpenedBy(qint32 tag, TStreamObject* current) override {
        if (m_monitorMode) {
            if (tag == StoredTag::MonitorInfo)
                return adopting<TMonitorInfo>();
            if (tag == StoredTag::Serie)
                return adopting<TParameterSerie>();
            return {};
        }
        auto* events = dynamic_cast<TEventSerie*>(current);
        if (tag == StoredTag::EventPoint && events != nullptr) {
            return [events](TMicroReader&) {
                events->Points.emplace_back();
                return &events->Points.back();
            };
        }
        if (tag == StoredTag::EventSerie && events == nullptr &&
            dynamic_cast<TEventPoint*>(current) == nullptr)
            return adopting<TEventSerie>();
        return {};
    }

    bool readObjectRecord(TStreamObject& object, qint32 tag, TMicroReader& reader) override {
        if (auto* monitor = dynamic_cast<TMonitorInfo*>(&object))
            return readMonitorRecord(*monitor, tag, reader);
        if (auto* serie = dynamic_cast<TParameterSerie*>(&object))
            return readSerieRecord(*serie, tag, reader);
        if (auto* events = dynamic_cast<TEventSerie*>(&object)) {
            if (tag == StoredTag::EventSerieCaption)
                events->Caption = reader.ReadString();
            else
                reader.SkipRecord();
            return true;
        }
        if (auto* event = dynamic_cast<TEventPoint*>(&object)) {
            readEventPointRecord(*event, tag, reader);
            return true;
        }
        return false;
    }

    bool readOwnRecord(qint32 tag, TMicroReader& reader) override {
        if (tag == StoredTag::Root && reader.Depth() == 0) {
            m_content.problems.push_back(
                {TFileProblem::Kind::UnexpectedRecord, reader.RecordOffset(),
                 QStringLiteral("a second root record begins at byte %1; its content is not read")
                     .arg(reader.RecordOffset())});
            reader.SkipRecord();
            return true;
        }
        if (m_monitorMode ? readMonitorDataRecord(tag, reader) : readGeneralRecord(tag, reader))
            return true;
        return fileInformationRecord(tag, reader);
    }

private:
    struct Missing {
        int count = 0;
        qint64 firstOffset = -1;
    };

    // A creator that adds a new object of the class to the file's objects.
    template <typename T> Creator adopting() {
        return [this](TMicroReader&) {
            auto object = std::make_unique<T>();
            T* raw = object.get();
            m_content.objects.push_back(std::move(object));
            return raw;
        };
    }

    bool fileInformationRecord(qint32 tag, TMicroReader& reader) {
        switch (tag) {
        case StoredTag::Reserved:
            m_content.reserved = reader.ReadInteger();
            return true;
        case StoredTag::PatientID:
            m_content.patientId = reader.ReadString();
            return true;
        case StoredTag::PatientName:
            m_content.patientName = reader.ReadString();
            return true;
        default:
            return false;
        }
    }

    bool readGeneralRecord(qint32 tag, TMicroReader& reader) {
        switch (tag) {
        case StoredTag::FileKind:
            m_content.fileKind = reader.ReadInteger();
            m_monitorMode = m_content.fileKind == qint32(TZelFileType::ftMonitorData) ||
                            m_content.fileKind == qint32(TZelFileType::ftVideoFileController);
            return true;
        case StoredTag::FileInformation:
        case StoredTag::SingleSerie:
        case StoredTag::SinglePlot:
            reader.BeginFolding(tag);
            return true;
        default:
            return false;
        }
    }

    bool readMonitorDataRecord(qint32 tag, TMicroReader& reader) {
        if (isPointTag(tag)) {
            readPoint(tag, reader);
            return true;
        }
        switch (tag) {
        case StoredTag::ReservedSpace:
            m_content.reservedOffset = reader.RecordOffset();
            if (m_stopAtReservedSpace) {
                reader.StopReading();
                return true;
            }
            m_content.reservedSize = reader.ReadSize();
            reader.Skip(m_content.reservedSize);
            return true;
        case StoredTag::FileInformation:
            reader.BeginFolding(tag);
            return true;
        default:
            return false;
        }
    }

    static void readEventPointRecord(TEventPoint& event, qint32 tag, TMicroReader& reader) {
        if (tag == StoredTag::EventPointTime)
            event.X = reader.ReadDouble();
        else if (tag == StoredTag::EventPointText)
            event.Text = reader.ReadString();
        else
            reader.SkipRecord();
    }

    static bool readMonitorRecord(TMonitorInfo& monitor, qint32 tag, TMicroReader& reader) {
        switch (tag) {
        case StoredTag::MonitorName:
            monitor.MonitorName = reader.ReadString();
            return true;
        case StoredTag::MonitorIdentity:
            monitor.MonitorIdentity = reader.ReadString();
            return true;
        case StoredTag::PatientID:
            monitor.PatientID = reader.ReadString();
            return true;
        case StoredTag::PatientName:
            monitor.PatientName = reader.ReadString();
            return true;
        default:
            return false;
        }
    }

    static bool readSerieRecord(TParameterSerie& serie, qint32 tag, TMicroReader& reader) {
        switch (tag) {
        case StoredTag::SerieIndex:
            serie.Index = qint16(reader.ReadInteger());
            return true;
        case StoredTag::SerieParameterName:
            serie.Identity.SetParameterName(reader.ReadString());
            return true;
        case StoredTag::SerieMeasurementPlace:
            serie.Identity.SetMeasurementPlace(reader.ReadString());
            return true;
        case StoredTag::SerieExtraName:
            serie.Identity.SetParamExtraName(reader.ReadString());
            return true;
        case StoredTag::SerieUnit:
            serie.Unit = reader.ReadString();
            return true;
        case StoredTag::SerieParameterID:
            serie.Identity.SetParameterID(reader.ReadString());
            return true;
        default:
            return false;
        }
    }

    void readPoint(qint32 tag, TMicroReader& reader) {
        const qint64 offset = reader.RecordOffset();
        if (!m_keepPoints) {
            reader.SkipRecord(); // framing is checked by the reader before the handler runs
            return;
        }
        const QByteArray payload = reader.ReadRawBytes(reader.ReadSize());
        qint16 index = 0;
        TSeriesPoint point;
        if (!StoredFileParser::parsePoint(tag, payload, reader.StringLengthIncludesCharSize(),
                                          index, point)) {
            m_content.problems.push_back(
                {TFileProblem::Kind::Unreadable, offset,
                 QStringLiteral("point record %1 at byte %2 is damaged; it was left out")
                     .arg(tag)
                     .arg(offset)});
            return;
        }
        std::visit([offset](auto& p) { p.RecordOffset = offset; }, point);
        if (!StoredFileParser::attachPoint(m_content.objects, index, std::move(point))) {
            Missing& missing = m_missingSeries[index];
            if (missing.count++ == 0)
                missing.firstOffset = offset;
        }
    }

    TStoredFileContent& m_content;
    bool m_stopAtReservedSpace;
    bool m_keepPoints;
    bool m_monitorMode = false;
    std::map<qint16, Missing> m_missingSeries;
};

// Every folding whose stored checksum differs from its content becomes a problem.
void reportChecksumMismatches(TMicroReader& reader, TStoredFileContent& content) {
    reader.SetOnLevelClosed([&content](TMicroReader& r, quint8 stored, bool correct) {
        if (r.ChecksumMode() && !correct) {
            content.problems.push_back(
                {TFileProblem::Kind::ChecksumMismatch, r.Position() - 1,
                 QStringLiteral("checksum byte at %1 is %2, the content sums to another value")
                     .arg(r.Position() - 1)
                     .arg(stored)});
        }
    });
}

// Reads the records; true when reading went on to the end of the data. A tolerant reading turns
// a failure into a problem at the record where it happened.
bool readRecords(ParseRun& run, TMicroReader& reader, const QByteArray& data, bool tolerant,
                 TStoredFileContent& content) {
    try {
        content.checksumValid = run.load(reader, data);
        return !reader.Stopped();
    } catch (const EZelError& error) {
        if (!tolerant)
            throw;
        const qint64 offset = reader.RecordOffset();
        content.problems.push_back({TFileProblem::Kind::Unreadable, offset,
                                    QStringLiteral("reading stopped at byte %1: %2")
                                        .arg(offset)
                                        .arg(describeError(error))});
        content.checksumValid = reader.FileValid();
        return false;
    }
}

// Where the readable records end: a record cut short at the end of the data (an interrupted
// append), damage before the end, or bytes after the end of a checksummed stream.
void checkEndOfData(TStoredFileContent& content, const TMicroReader& reader, const QByteArray& data,
                    bool readToTheEnd) {
    const TMicroReader::Truncation& cut = reader.TruncatedRecord();
    const bool cutTail =
        cut.recordOffset >= 0 && StoredFileParser::isCutTail(data, cut.recordOffset);
    content.validEnd = cutTail ? cut.recordOffset : data.size();
    if (cut.recordOffset >= 0 && !cutTail) {
        content.problems.push_back(
            {TFileProblem::Kind::DamagedRecord, cut.recordOffset,
             QStringLiteral("the record at byte %1 (tag %2) claims more bytes than the file "
                            "holds and is not a point record cut short at its end: the file is "
                            "damaged there")
                 .arg(cut.recordOffset)
                 .arg(cut.tag)});
    } else if (content.checksums && readToTheEnd && reader.Position() < data.size()) {
        content.problems.push_back(
            {TFileProblem::Kind::UnexpectedRecord, reader.Position(),
             QStringLiteral("%1 byte(s) after the end of the root folding at byte %2 are not read")
                 .arg(data.size() - reader.Position())
                 .arg(reader.Position())});
    }
    if (cutTail) {
        content.problems.push_back(
            {TFileProblem::Kind::TruncatedRecord, cut.recordOffset,
             QStringLiteral("the record at byte %1 (tag %2) is cut short: the file ends after %3 "
                            "of its bytes")
                 .arg(cut.recordOffset)
                 .arg(cut.tag)
                 .arg(data.size() - cut.recordOffset)});
    }
}

void checkSeriesIndexes(TStoredFileContent& content) {
    qint32 expected = 0;
    for (const TParameterSerie* serie : content.series()) {
        if (serie->Index != expected) {
            content.problems.push_back(
                {TFileProblem::Kind::IndexGap, -1,
                 QStringLiteral("series number %1 in file order has index %2")
                     .arg(expected)
                     .arg(serie->Index)});
            return;
        }
        ++expected;
    }
}

} // namespace

bool StoredFileParser::parsePoint(qint32 tag, const QByteArray& payload,
                                  bool lengthIncludesCharSize, qint16& index, TSeriesPoint& point) {
    ByteCursor cursor(payload.constData(), payload.size());
    index = cursor.read<qint16>();
    const double x = cursor.read<double>();
    const double y = cursor.read<double>();
    if (tag == StoredTag::EndPoint) {
        point = TRecordDelimiterPoint{x, -1};
        return cursor.ok();
    }
    TTarvoDataPoint data;
    data.X = x;
    data.Y = y;
    data.RecordTag = tag;
    if (tag != StoredTag::PlainPoint) {
        data.AnalyseResult = cursor.read<quint8>();
        if (tag == StoredTag::ResultPoint)
            data.AnalyseResultString = cursor.readString(lengthIncludesCharSize);
        data.VialID = cursor.readString(lengthIncludesCharSize);
        data.AttemptNo = cursor.read<qint32>();
    }
    point = data;
    return cursor.ok();
}

bool StoredFileParser::attachPoint(std::vector<std::unique_ptr<TStreamObject>>& objects,
                                   qint16 index, TSeriesPoint point) {
    const std::size_t position = std::size_t(index) + 1;
    if (index < 0 || position >= objects.size())
        return false;
    auto* serie = dynamic_cast<TParameterSerie*>(objects[position].get());
    if (serie == nullptr || serie->Index != index)
        return false;
    if (!serie->Points)
        serie->Points = std::make_shared<TPlotSerie>();
    serie->Points->Points.push_back(std::move(point));
    return true;
}

bool StoredFileParser::isCutTail(const QByteArray& data, qint64 offset) {
    const qint64 left = data.size() - offset;
    if (offset < 0 || left <= 0)
        return false;
    if (left < 4) {
        // Only the first bytes of a tag: they must be those of an appended record's tag.
        bool prefixOfTag = false;
        for (const qint32 tag :
             {StoredTag::ResultPoint, StoredTag::PointWithoutText, StoredTag::PlainPoint,
              StoredTag::EndPoint, StoredTag::VideoFrame, StoredTag::VideoInformation}) {
            const qint32 little = qToLittleEndian(tag);
            prefixOfTag =
                prefixOfTag || std::memcmp(&little, data.constData() + offset, size_t(left)) == 0;
        }
        return prefixOfTag;
    }
    if (!isAppendedTag(qFromLittleEndian<qint32>(data.constData() + offset)))
        return false;
    if (left >= 8) {
        const qint32 size = qFromLittleEndian<qint32>(data.constData() + offset + 4);
        if (size < 0 || size <= left - 8)
            return false; // it fits, or it is no size at all: not cut short
    }
    for (qint64 at = offset + 1; at + 8 <= data.size(); ++at) {
        if (completePointAt(data, at))
            return false;
    }
    return true;
}

TStoredFileContent StoredFileParser::parse(const QByteArray& data, bool stopAtReservedSpace,
                                           bool keepPoints) {
    return parseWith(data, stopAtReservedSpace, false, keepPoints);
}

TStoredFileContent StoredFileParser::parseTolerant(const QByteArray& data) {
    return parseWith(data, false, true, true);
}

TStoredFileContent StoredFileParser::parseWith(const QByteArray& data, bool stopAtReservedSpace,
                                               bool tolerant, bool keepPoints) {
    TStoredFileContent content;
    ParseRun run(content, stopAtReservedSpace, keepPoints);
    TMicroReader reader;
    reportChecksumMismatches(reader, content);
    const bool readToTheEnd = readRecords(run, reader, data, tolerant, content);
    run.finish();
    content.versionMajor = reader.VersionMajor();
    content.versionMinor = reader.VersionMinor();
    content.checksums = reader.ChecksumMode();
    content.layout = reader.Layout();
    checkEndOfData(content, reader, data, readToTheEnd);
    checkSeriesIndexes(content);
    return content;
}
