#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>

#include "FileStamp.h"
#include "OpenFile.h"
#include "PointRecord.h"
#include "StoredFileContent.h"
#include "TEventSerie.h"
#include "ZelTypes.h"

// Owns one stored file name at a time and does all writing to it: creates a patient data file,
// checks that an existing one belongs to the monitor and patient, adds series definitions into
// its reserved space, appends points, and writes single-object files such as the events file.
//
// What was read from a patient data file is kept while the file's name, size and modification
// time are unchanged and no other file has taken its name, and is kept current by this writer's
// own appends, so that storing one value after another never re-reads a whole file. Files of
// other kinds are small and are read anew each time.
class TSaveItNew {
public:
    static constexpr qint32 kDefaultReservedSpace = 500;
    static constexpr qint64 kLargestFile = qint64(512) << 20;

    TZelFileType FileType = TZelFileType::ftMonitorData;
    bool IsReadOnly = false;
    qint32 MinimumReservedSpaceForMonitorParameters = kDefaultReservedSpace;
    // Whether reading a file keeps its points in memory (the series definitions are always
    // read). Writers that only store values leave the points on disk.
    bool KeepPoints = true;
    // Called with the file name after a new file was created.
    std::function<void(const QString&)> OnFileStructureChanged;
    // Called with "<file name> has a checksum error." when a loaded file fails its checksums.
    std::function<void(const QString&)> OnChecksumError;

    // For single-object files: the patient of the file information, and the event series.
    QString PatientID;
    QString PatientName;
    qint32 Reserved = 0;
    std::unique_ptr<TEventSerie> EventSerie;

    void SetFileName(const QString& fileName) { m_fileName = fileName; }
    const QString& FileName() const { return m_fileName; }

    // While a patient data file is rebuilt beside the one in use, opening the file in use
    // (OpenPatientDataFile) opens the file being built instead.
    void SetStandIn(const QString& fileName, const QString& standIn) {
        m_standInFor = fileName;
        m_standIn = standIn;
    }
    void ClearStandIn() {
        m_standInFor.clear();
        m_standIn.clear();
    }
    bool HasStandIn() const { return !m_standIn.isEmpty(); }
    const QString& StandIn() const { return m_standIn; }
    QString StandInFor(const QString& fileName) const {
        return !m_standInFor.isEmpty() && fileName == m_standInFor ? m_standIn : fileName;
    }

    // Creates the patient data file when it does not exist; otherwise checks that it is a
    // monitor data file of this monitor and patient. Throws EZelError with the reason.
    void OpenMonitorFile(const QString& monitorName, const QString& monitorIdentity, bool checkName,
                         const QString& patientFullName, const QString& patientId);

    // Reads the whole file unless what was read is still current. A file that does not exist
    // leaves nothing loaded. Throws EZelError for a file that cannot be read.
    void LoadFile();
    void ClearLoadCache();

    // Adds a series definition inside the file, in its reserved space. Throws EZelError.
    void RegisterSerie(qint16 index, const QString& parameterName, const QString& measurementPlace,
                       const QString& extraName, const QString& substanceKey, const QString& unit);

    // Appends a result point / a series break. A failure leaves the file as it was and returns
    // false; LastError() tells why. A record cut short at the end of the file (a write that was
    // interrupted) is removed first, so that the new record can be read.
    [[nodiscard]] bool AppendPoint(qint16 index, TAnalyseResult status, qint32 attemptNo,
                                   const QString& vialId, const QString& statusText, double value,
                                   double time);
    [[nodiscard]] bool AppendSerieBreak(qint16 index, double time);
    QString LastError() const { return m_lastError; }

    // True the first time this writer is asked about the file as it now is on disk (name, size
    // and modification time): a file that cannot be used is reported once, not with every value.
    bool FirstReportOf(const QString& fileName);

    // Forgets file name, texts and objects; the kind becomes unknown, the reserved size 500.
    void Reset();

    // Writes a single-object file (with checksums), replacing it. Throws EIsReadOnly or EZelError.
    void SaveSingle();

    // What LoadFile read (objects in file order, facts and problems); empty when nothing is.
    const TStoredFileContent& Content() const;
    bool IsLoaded() const { return m_cache.count(m_fileName) > 0; }

    // Within a batch (batches nest) a file, once checked, is trusted without looking at the disk
    // again, and appended records are collected and written together when the batch ends (or
    // every MiB). Used while one document's results are stored: the values of an archived
    // document that did not reach the disk are stored again when the archive is replayed.
    void BeginBatch() { ++m_batchDepth; }
    // Writes what the batch collected; false (LastError() says why) when a write failed.
    [[nodiscard]] bool EndBatch();

    // How many files' contents are kept while they are unchanged.
    static constexpr std::size_t kCachedFiles = 64;

    TSaveItNew() = default;
    TSaveItNew(const TSaveItNew&) = delete;
    TSaveItNew& operator=(const TSaveItNew&) = delete;
    ~TSaveItNew();

    // Builders of the byte forms, shared with tests and tools.
    static QByteArray BuildMonitorFile(const QString& monitorName, const QString& monitorIdentity,
                                       const QString& patientId, const QString& patientName,
                                       qint32 reservedSpace);
    static QByteArray BuildSerieRecord(qint16 index, const QString& parameterName,
                                       const QString& measurementPlace, const QString& extraName,
                                       const QString& substanceKey, const QString& unit);
    static QByteArray BuildPointRecord(qint16 index, TAnalyseResult status, qint32 attemptNo,
                                       const QString& vialId, const QString& statusText,
                                       double value, double time);
    static QByteArray BuildSerieBreakRecord(qint16 index, double time);

private:
    struct CacheEntry {
        std::shared_ptr<TStoredFileContent> content;
        FileStamp stamp;
        quint64 lastUse = 0;
        bool verifiedInBatch = false;
        QByteArray pending; // records appended in a batch, not yet on disk
    };

    CacheEntry* currentEntry();
    bool ownsFile(const QString& fileName) const {
        return !m_standIn.isEmpty() && fileName == m_standIn;
    }
    bool cacheIsCurrent(const FileStamp& stamp);
    void loadFile(const FileStamp& stamp);
    bool trustedInBatch();
    void adopt(const QByteArray& data, TStoredFileContent content);
    bool flush(CacheEntry& entry, const QString& fileName);
    // What the entry knows after this writer appended bytes at writtenAt to the file it
    // found as known.
    void appended(CacheEntry& entry, qint64 writtenAt, qint64 size);
    struct Appending {
        qint64 writtenAt = 0; // where the bytes start
        bool asKnown = false; // whether the file was as the cache entry last saw it
    };
    // Appends after the last complete record.
    bool appendToFile(const QString& fileName, const char* bytes, qsizetype size,
                      const CacheEntry* known, Appending& appending);
    // Writes the bytes at the end of the complete records (fileSize: the file's size; a
    // record cut short after the end is removed first).
    bool writeAfter(const QString& fileName, qint64 end, qint64 fileSize, const char* bytes,
                    qsizetype size);
    bool openForAppend(const QString& fileName);
    void closeOpenFile();
    void flushCurrent();
    void evictOldEntries();
    static QByteArray readWholeFile(const QString& fileName);
    static void saveWholeFile(const QString& fileName, const QByteArray& data);
    // The whole current file: the stand-in in place, any other file replaced in one step.
    void saveOwnFile(const QByteArray& data);
    bool appendRecord(const PointRecord& record, qint16 index, const TSeriesPoint& point);

    QString m_fileName;
    QString m_standInFor;
    QString m_standIn;
    QString m_lastError;
    std::map<QString, CacheEntry> m_cache;
    quint64 m_useCounter = 0;
    int m_batchDepth = 0;
    std::map<QString, FileStamp> m_reported;
    // The file last appended to, open until the event loop runs again.
    OpenFile m_open;
    std::unique_ptr<QObject> m_idleClose; // the context of the queued close
    bool m_closeQueued = false;
};
