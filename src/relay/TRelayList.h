#pragma once

#include <deque>
#include <functional>
#include <vector>

#include <QByteArray>
#include <QString>

// The queue of what goes to the relay host, one entry per unit of transmission: ENQ, frames
// (STX, frame number, text, ETB or ETX, checksum, CR LF) and EOT. Records added between an ENQ
// and an EOT are cleaned of control characters, renumbered and packed into frames of at most
// 240 characters of text, split at record boundaries (a record longer than a frame continues in
// the next frame). A message joins the queue whole when its EOT is added, as ENQ, its frames
// and EOT; a message without records, records outside a message and a message that is
// abandoned join it not at all.
class TRelayList {
public:
    static constexpr char kEnq = '\x05';
    static constexpr char kEot = '\x04';
    static constexpr char kStx = '\x02';
    static constexpr char kEtx = '\x03';
    static constexpr char kEtb = '\x17';
    static constexpr qsizetype kMaxFrameText = 240;
    static constexpr qsizetype kMaxRecordTail = 255;

    TRelayList() = default;
    TRelayList(const TRelayList&) = delete;
    TRelayList& operator=(const TRelayList&) = delete;
    virtual ~TRelayList() = default;

    // ENQ starts a message, EOT ends it; any other text is a record ending with CR.
    void Add(const QByteArray& text);
    // Forgets the message being built (it failed on its way).
    void AbandonMessage();

    bool IncludeChecksum = false;
    // Told of records that were changed or left out to keep the frames valid.
    std::function<void(const QString&)> Log;

    qsizetype Count() const { return qsizetype(m_entries.size()); }
    // Whole messages queued.
    qsizetype Messages() const { return qsizetype(m_queuedAt.size()); }
    // When the oldest message still queued was queued (milliseconds since the epoch; 0 when the
    // queue is empty). Messages taken back after a restart count from the restart.
    qint64 OldestQueuedAt() const { return m_queuedAt.empty() ? 0 : m_queuedAt.front(); }
    const QByteArray& Entry(qsizetype index) const { return m_entries.at(size_t(index)); }
    // The entries leave from the front as they are passed on, or all at once.
    virtual void DeleteFirst();
    // The first `count` entries leave (one message sent).
    virtual void DeleteFront(qsizetype count);
    virtual void Clear();
    // Called by the main timer: a queue kept in a file writes what it could not write before.
    virtual void Maintain() {}
    // Every entry followed by CR LF; false when the file cannot be written.
    bool SaveToFile(const QString& path) const;

    // The checksum of a frame body: the byte sum modulo 256 as two upper-case hex digits.
    static QByteArray Checksum(const QByteArray& body);
    static bool IsEot(const QByteArray& entry) { return entry.size() == 1 && entry.at(0) == kEot; }

protected:
    // Called when entries from `first` to the end have joined the queue (one whole message).
    virtual void appended(qsizetype first);

    std::deque<QByteArray> m_entries;
    std::deque<qint64> m_queuedAt; // per whole message, in queue order

private:
    QByteArray clean(const QByteArray& record);
    QByteArray renumber(const QByteArray& record);
    void addRecord(const QByteArray& record);
    void closeFrame(const QByteArray& text, bool last);

    bool m_building = false;
    std::vector<QByteArray> m_message; // the entries of the message being built
    QByteArray m_pendingText;
    int m_sequence = 1;
    int m_frameNumber = 1;
    char m_lastRecordType = 0;
};
