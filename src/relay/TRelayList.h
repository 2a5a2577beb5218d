#pragma once

#include <deque>

#include <QByteArray>
#include <QString>

// The queue of what goes to the relay host, one entry per unit of transmission: ENQ, frames
// (STX, frame number, text, ETB or ETX, checksum, CR LF) and EOT. Records added between an ENQ
// and an EOT are renumbered and packed into frames of at most 240 characters of text, split at
// record boundaries.
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

    bool IncludeChecksum = false;

    qsizetype Count() const { return qsizetype(m_entries.size()); }
    const QByteArray& Entry(qsizetype index) const { return m_entries.at(size_t(index)); }
    // The entries leave from the front as they are passed on, or all at once.
    virtual void DeleteFirst();
    virtual void Clear();
    // Every entry followed by CR LF; false when the file cannot be written.
    bool SaveToFile(const QString& path) const;

    // The checksum of a frame body: the byte sum modulo 256 as two upper-case hex digits.
    static QByteArray Checksum(const QByteArray& body);

protected:
    // Called for every entry that joins the queue.
    virtual void appended(const QByteArray& entry);

    std::deque<QByteArray> m_entries;

private:
    QByteArray renumber(const QByteArray& record);
    QByteArray closeFrame(const QByteArray& text, bool last);
    void append(QByteArray entry);

    QByteArray m_pendingText;
    int m_sequence = 1;
    int m_frameNumber = 1;
    char m_lastRecordType = 0;
};
