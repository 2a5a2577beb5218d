#include "TSaveItNew.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <QtEndian>

#include "FileReplacement.h"
#include "StoredFileParser.h"
#include "StoredFileTags.h"
#include "TMicroReader.h"
#include "TMicroWriter.h"

namespace {

QString mismatchReport(const TMonitorInfo& stored, const QString& monitorName,
                       const QString& monitorIdentity, const QString& patientId,
                       const QString& patientName) {
    const QStringList lines = {
        stored.MonitorName + QStringLiteral(" - ") + monitorName,
        stored.MonitorIdentity + QStringLiteral(" - ") + monitorIdentity,
        stored.PatientID + QStringLiteral(" - ") + patientId,
        stored.PatientName + QStringLiteral(" - ") + patientName,
    };
    return lines.join(QStringLiteral("\r\n"));
}

// The end of the last complete record of a stream whose records follow each other at the top
// level (a patient data file). A stream whose header cannot be read counts as complete; -1 when
// a record in the middle is damaged (nothing may then be appended).
qint64 endOfCompleteRecords(const QByteArray& data) {
    try {
        TMicroReader reader;
        reader.Load(data, [](qint32, TMicroReader& r) { r.SkipRecord(); });
        const qint64 cut = reader.TruncatedRecord().recordOffset;
        if (cut < 0)
            return data.size();
        return StoredFileParser::isCutTail(data, cut) ? cut : -1;
    } catch (const EZelError&) {
        return data.size();
    }
}

} // namespace

TSaveItNew::~TSaveItNew() {
    for (auto& [name, entry] : m_cache)
        flush(entry, name);
    closeOpenFile();
}

const TStoredFileContent& TSaveItNew::Content() const {
    static const TStoredFileContent empty;
    const auto found = m_cache.find(m_fileName);
    return found == m_cache.end() ? empty : *found->second.content;
}

TSaveItNew::CacheEntry* TSaveItNew::currentEntry() {
    const auto found = m_cache.find(m_fileName);
    if (found == m_cache.end())
        return nullptr;
    found->second.lastUse = ++m_useCounter;
    return &found->second;
}

bool TSaveItNew::trustedInBatch() {
    const CacheEntry* entry = currentEntry();
    return m_batchDepth > 0 && entry != nullptr && entry->verifiedInBatch;
}

// What was read is current while the file is the one it was read from, with the size and
// modification time it had after this writer's last read or append; the file itself is not
// read for this. A file that another writer replaced by a rename is a different file, even
// within the time resolution of the file system.
bool TSaveItNew::cacheIsCurrent(const FileStamp& stamp) {
    CacheEntry* entry = currentEntry();
    if (entry == nullptr || stamp.size < 0)
        return false;
    // The file a rebuild builds is this writer's alone (under a name of its own, while it holds
    // the patient's lock): what it read and wrote stays current, whatever a network share
    // reports of its times.
    if (!(stamp == entry->stamp) && !(ownsFile(m_fileName) && entry->stamp.size >= 0))
        return false;
    if (entry->content->reservedOffset < 0)
        return false; // not a patient data file: small, and read again each time
    if (m_batchDepth > 0)
        entry->verifiedInBatch = true;
    return true;
}

// After an append the file is known as the append left it: its size, and its times as the
// open file reports them, so that any later touch by another program (an append, a rename of
// the open file, another file put in its place, an older copy put back) is seen.
void TSaveItNew::appended(CacheEntry& entry, qint64 writtenAt, qint64 size) {
    entry.content->validEnd = writtenAt + size;
    entry.stamp = m_open.stamp();
}

void TSaveItNew::adopt(const QByteArray& data, TStoredFileContent content) {
    CacheEntry& entry = m_cache[m_fileName];
    entry.content = std::make_shared<TStoredFileContent>(std::move(content));
    entry.stamp = FileStamp::of(m_fileName);
    if (entry.stamp.size != data.size())
        entry.stamp = {}; // changed while it was read: read it again next time
    entry.verifiedInBatch = m_batchDepth > 0 && entry.stamp.size >= 0;
    entry.lastUse = ++m_useCounter;
    evictOldEntries();
}

void TSaveItNew::evictOldEntries() {
    while (m_cache.size() > kCachedFiles) {
        auto oldest = m_cache.end();
        for (auto it = m_cache.begin(); it != m_cache.end(); ++it) {
            if (it->first == m_fileName || !it->second.pending.isEmpty())
                continue;
            if (oldest == m_cache.end() || it->second.lastUse < oldest->second.lastUse)
                oldest = it;
        }
        if (oldest == m_cache.end())
            return;
        m_cache.erase(oldest);
    }
}

// The data file last appended to stays open until control returns to the event loop (or the
// writer turns to another file, forgets what it read, or ends), so that one message's results
// or a whole batch cost one opening. While it is open, the file is checked on the open
// descriptor: its size and times tell whether another writer touched it, and a file that lost
// its name (replaced by a rename) or changed in a way this writer did not see is opened again
// by name.
bool TSaveItNew::openForAppend(const QString& fileName) {
    if (m_open.isOpen() && m_open.fileName() == fileName)
        return true;
    if (!m_open.open(fileName)) {
        m_lastError = QStringLiteral("Could not open ") + fileName + QStringLiteral(": ") +
                      m_open.errorString();
        return false;
    }
    if (!m_idleClose)
        m_idleClose = std::make_unique<QObject>();
    if (!m_closeQueued && QCoreApplication::instance() != nullptr) {
        m_closeQueued = true;
        QTimer::singleShot(0, m_idleClose.get(), [this] {
            m_closeQueued = false;
            m_open.close();
        });
    }
    return true;
}

void TSaveItNew::closeOpenFile() {
    m_open.close();
}

bool TSaveItNew::appendToFile(const QString& fileName, const char* bytes, qsizetype size,
                              const CacheEntry* known, Appending& appending) {
    const bool keptOpen = m_open.isOpen() && m_open.fileName() == fileName;
    if (!openForAppend(fileName))
        return false;
    // The end of the complete records is known while the file is as it was last seen;
    // otherwise it is found again, and a record cut short there is removed first.
    const auto isKnown = [&](const FileStamp& stamp) {
        return known != nullptr && known->stamp.size >= 0 &&
               (ownsFile(fileName) || (stamp.size >= 0 && stamp == known->stamp));
    };
    appending.asKnown = isKnown(m_open.stamp());
    if (!appending.asKnown && keptOpen) {
        // Whatever happened to the open file, the one that now has the name is the one written.
        m_open.close();
        if (!openForAppend(fileName))
            return false;
        appending.asKnown = isKnown(m_open.stamp());
    }
    qint64 end = 0;
    qint64 fileSize = 0;
    if (appending.asKnown) {
        end = known->content->damaged() ? -1 : known->content->validEnd;
        fileSize = known->stamp.size;
    } else {
        QByteArray data;
        if (!m_open.readAll(data)) {
            m_lastError = QStringLiteral("Could not read ") + fileName + QStringLiteral(": ") +
                          m_open.errorString();
            return false;
        }
        end = endOfCompleteRecords(data);
        fileSize = data.size();
    }
    if (!writeAfter(fileName, end, fileSize, bytes, size))
        return false;
    appending.writtenAt = end;
    return true;
}

bool TSaveItNew::writeAfter(const QString& fileName, qint64 end, qint64 fileSize, const char* bytes,
                            qsizetype size) {
    if (end < 0) {
        m_lastError =
            fileName + QStringLiteral(" is damaged in the middle; nothing is appended to it");
        return false;
    }
    if (end < fileSize && !m_open.resize(end)) {
        m_lastError = QStringLiteral("Could not remove the cut record at the end of ") + fileName +
                      QStringLiteral(": ") + m_open.errorString();
        return false;
    }
    if (!m_open.writeAt(end, bytes, size)) {
        m_lastError = QStringLiteral("Could not append to ") + fileName + QStringLiteral(": ") +
                      m_open.errorString();
        m_open.resize(end);
        return false;
    }
    return true;
}

bool TSaveItNew::flush(CacheEntry& entry, const QString& fileName) {
    if (entry.pending.isEmpty())
        return true;
    Appending appending;
    if (!appendToFile(fileName, entry.pending.constData(), entry.pending.size(), &entry, appending))
        return false;
    if (appending.asKnown) {
        appended(entry, appending.writtenAt, entry.pending.size());
    } else {
        // Another writer changed the file meanwhile: what was read lacks its records and is
        // read again.
        entry.stamp = {};
        entry.verifiedInBatch = false;
    }
    entry.pending.clear();
    return true;
}

void TSaveItNew::flushCurrent() {
    if (CacheEntry* entry = currentEntry(); entry != nullptr && !flush(*entry, m_fileName))
        throw EZelError(m_lastError);
}

bool TSaveItNew::EndBatch() {
    if (m_batchDepth == 0 || --m_batchDepth > 0)
        return true;
    bool written = true;
    for (auto& [name, entry] : m_cache) {
        if (!flush(entry, name)) {
            written = false;
            entry.pending.clear(); // reported; the archive replay stores these values again
        }
        entry.verifiedInBatch = false;
    }
    return written;
}

QByteArray TSaveItNew::readWholeFile(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw EZelError(QStringLiteral("Could not read ") + fileName + QStringLiteral(": ") +
                        file.errorString());
    if (file.size() > kLargestFile)
        throw EZelError(
            fileName +
            QStringLiteral(" is too large for a stored file (%1 bytes)").arg(file.size()));
    return file.readAll();
}

void TSaveItNew::saveOwnFile(const QByteArray& data) {
    if (!HasStandIn() || m_fileName != m_standIn) {
        saveWholeFile(m_fileName, data);
        return;
    }
    // The file being built beside the data file is this writer's alone and is checked before
    // it takes the data file's place: it is written where it is.
    QFile file(m_fileName);
    if (!file.open(QIODevice::ReadWrite) || file.write(data) != data.size() ||
        (file.size() > data.size() && !file.resize(data.size())))
        throw EZelError(m_fileName + QStringLiteral(" cannot be written: ") + file.errorString());
}

void TSaveItNew::saveWholeFile(const QString& fileName, const QByteArray& data) {
    // The new content replaces the old in one step, and only once it is complete on disk: a
    // failure (a full disk) leaves the old file whole, or no file where there was none.
    const QString failure = FileReplacement::replace(fileName, data);
    if (!failure.isEmpty())
        throw EZelError(failure);
}

void TSaveItNew::ClearLoadCache() {
    const auto found = m_cache.find(m_fileName);
    if (found != m_cache.end()) {
        flush(found->second, m_fileName);
        m_cache.erase(found);
    }
    // Whoever asks for this may replace or remove the file next.
    closeOpenFile();
}

void TSaveItNew::LoadFile() {
    if (m_fileName.isEmpty() || trustedInBatch())
        return;
    loadFile(FileStamp::of(m_fileName));
}

void TSaveItNew::loadFile(const FileStamp& stamp) {
    if (stamp.size < 0) {
        ClearLoadCache();
        return;
    }
    if (cacheIsCurrent(stamp))
        return;
    flushCurrent();
    const QByteArray data = readWholeFile(m_fileName);
    adopt(data, StoredFileParser::parse(data, false, KeepPoints));
    if (!Content().checksumValid && OnChecksumError)
        OnChecksumError(m_fileName + QStringLiteral(" has a checksum error."));
}

void TSaveItNew::OpenMonitorFile(const QString& monitorName, const QString& monitorIdentity,
                                 bool checkName, const QString& patientFullName,
                                 const QString& patientId) {
    FileType = TZelFileType::ftMonitorData;
    Reserved = 0;
    // An empty file is what a creation that failed (a full disk) may have left: it holds
    // nothing and is created anew.
    const bool trusted = trustedInBatch();
    const FileStamp stamp = trusted ? FileStamp() : FileStamp::of(m_fileName);
    if (!trusted && stamp.size <= 0) {
        const QByteArray data =
            BuildMonitorFile(monitorName, monitorIdentity, patientId, patientFullName,
                             MinimumReservedSpaceForMonitorParameters);
        saveOwnFile(data);
        adopt(data, StoredFileParser::parse(data, false, KeepPoints));
        if (OnFileStructureChanged)
            OnFileStructureChanged(m_fileName);
        return;
    }
    if (!trusted)
        loadFile(stamp);
    for (const TFileProblem& problem : Content().problems) {
        if (problem.kind == TFileProblem::Kind::DamagedRecord)
            throw EZelError(problem.text);
    }
    if (Content().fileKind != qint32(TZelFileType::ftMonitorData))
        throw EZelError(ZelText::kIncorrectFiletype);
    const std::vector<const TMonitorInfo*> monitors = Content().monitors();
    for (const TMonitorInfo* stored : monitors) {
        const bool matches = stored->MonitorName == monitorName &&
                             stored->MonitorIdentity == monitorIdentity &&
                             stored->PatientID == patientId &&
                             (!checkName || stored->PatientName == patientFullName);
        if (!matches)
            throw EZelError(
                QLatin1String(ZelText::kFileDoesNotMatch) + QStringLiteral("\r\n") +
                mismatchReport(*stored, monitorName, monitorIdentity, patientId, patientFullName));
    }
    if (monitors.empty())
        throw EZelError(ZelText::kNoMonitorInfo);
}

void TSaveItNew::RegisterSerie(qint16 index, const QString& parameterName,
                               const QString& measurementPlace, const QString& extraName,
                               const QString& substanceKey, const QString& unit) {
    const QByteArray record =
        BuildSerieRecord(index, parameterName, measurementPlace, extraName, substanceKey, unit);
    QByteArray data = readWholeFile(m_fileName);
    const TStoredFileContent head = StoredFileParser::parse(data, true);
    const qint64 at = head.reservedOffset;
    if (at < 0 || at + 8 > data.size())
        throw EZelError(m_fileName + QStringLiteral(" has no reserved space for a new series"));
    const qint64 space = qFromLittleEndian<qint32>(data.constData() + at + 4);
    if (space < 0 || at + 8 + space > data.size())
        throw EZelError(m_fileName + QStringLiteral(" has a damaged reserved space record"));

    const qint64 length = record.size();
    QByteArray reservedHead(8, Qt::Uninitialized);
    qToLittleEndian<qint32>(StoredTag::ReservedSpace, reservedHead.data());
    if (space > length) {
        qToLittleEndian<qint32>(qint32(space - length), reservedHead.data() + 4);
        data.replace(at, length, record);
        data.replace(at + length, 8, reservedHead);
    } else {
        const qint64 renewed = std::max<qint64>(MinimumReservedSpaceForMonitorParameters, at);
        qToLittleEndian<qint32>(qint32(renewed), reservedHead.data() + 4);
        const QByteArray tail = data.mid(at + 8 + space);
        data.truncate(at);
        data += record;
        data += reservedHead;
        data += QByteArray(renewed, '\0');
        data += tail;
    }
    saveOwnFile(data);
    adopt(data, StoredFileParser::parse(data, false, KeepPoints));
}

bool TSaveItNew::appendRecord(const PointRecord& record, qint16 index, const TSeriesPoint& point) {
    m_lastError.clear();
    if (m_fileName.isEmpty()) {
        m_lastError = QStringLiteral("no patient data file is open");
        return false;
    }
    const auto remember = [&](CacheEntry& entry, qint64 offset) {
        if (!KeepPoints)
            return;
        TSeriesPoint stored = point;
        std::visit([offset](auto& p) { p.RecordOffset = offset; }, stored);
        StoredFileParser::attachPoint(entry.content->objects, index, std::move(stored));
    };
    CacheEntry* entry = currentEntry();
    if (m_batchDepth > 0 && entry != nullptr && entry->verifiedInBatch) {
        remember(*entry, entry->content->validEnd + entry->pending.size());
        entry->pending.append(record.data(), record.size());
        constexpr qsizetype kLargestBatch = qsizetype(1) << 20;
        return entry->pending.size() < kLargestBatch || flush(*entry, m_fileName);
    }
    Appending appending;
    const CacheEntry* known = entry != nullptr && entry->pending.isEmpty() ? entry : nullptr;
    if (!appendToFile(m_fileName, record.data(), record.size(), known, appending))
        return false;
    if (appending.asKnown) {
        // Keep what was read current: the new point joins its series in memory too.
        remember(*entry, appending.writtenAt);
        appended(*entry, appending.writtenAt, record.size());
    } else {
        ClearLoadCache();
    }
    return true;
}

bool TSaveItNew::AppendPoint(qint16 index, TAnalyseResult status, qint32 attemptNo,
                             const QString& vialId, const QString& statusText, double value,
                             double time) {
    TSeriesPoint kept;
    if (KeepPoints) {
        TTarvoDataPoint point;
        point.X = time;
        point.Y = value;
        point.AnalyseResult = quint8(status);
        point.AnalyseResultString = statusText;
        point.VialID = vialId;
        point.AttemptNo = attemptNo;
        point.RecordTag = StoredTag::ResultPoint;
        kept = std::move(point);
    }
    return appendRecord(
        PointRecord::point(index, status, attemptNo, vialId, statusText, value, time), index, kept);
}

bool TSaveItNew::AppendSerieBreak(qint16 index, double time) {
    return appendRecord(PointRecord::serieBreak(index, time), index,
                        TRecordDelimiterPoint{time, -1});
}

bool TSaveItNew::FirstReportOf(const QString& fileName) {
    constexpr std::size_t kRemembered = 1000;
    const FileStamp stamp = FileStamp::of(fileName);
    const auto found = m_reported.find(fileName);
    if (found != m_reported.end() && found->second == stamp)
        return false;
    if (m_reported.size() >= kRemembered)
        m_reported.clear();
    m_reported[fileName] = stamp;
    return true;
}

void TSaveItNew::Reset() {
    m_fileName.clear();
    PatientID.clear();
    PatientName.clear();
    Reserved = 0;
    EventSerie.reset();
    for (auto& [name, entry] : m_cache)
        flush(entry, name);
    m_cache.clear();
    closeOpenFile();
    FileType = TZelFileType::ftUnknown;
    MinimumReservedSpaceForMonitorParameters = kDefaultReservedSpace;
}

void TSaveItNew::SaveSingle() {
    if (IsReadOnly)
        throw EIsReadOnly(ZelText::kReadOnly);
    QByteArray data;
    TMicroWriter writer;
    writer.SetStream(&data);
    writer.SetChecksumMode(true);
    writer.WriteHeader();
    writer.BeginFolding(StoredTag::FileInformation);
    writer.WriteIntRecord(StoredTag::FileKind, qint32(FileType));
    writer.WriteIntRecord(StoredTag::Reserved, Reserved);
    if (!PatientID.isEmpty())
        writer.WriteStringRecord(StoredTag::PatientID, PatientID);
    if (!PatientName.isEmpty())
        writer.WriteStringRecord(StoredTag::PatientName, PatientName);
    writer.EndFolding();
    if (FileType == TZelFileType::ftSingleSerie || FileType == TZelFileType::ftSingleEventSerie) {
        writer.BeginFolding(StoredTag::SingleSerie);
        if (EventSerie)
            EventSerie->WriteTo(writer);
        writer.EndFolding();
    } else if (FileType == TZelFileType::ftSaveSinglePlot) {
        writer.BeginFolding(StoredTag::SinglePlot);
        writer.EndFolding();
    }
    writer.CloseStream();
    saveWholeFile(m_fileName, data);
    ClearLoadCache();
}
