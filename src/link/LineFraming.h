#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The complete record-line messages one source (an analyzer connection, the serial line) sent
// in one read: their lines, each message followed by a line holding EOT alone. A batch holds
// only whole messages of one source; `closed` says the source has gone and sends no more.
struct LineBatch {
    QString source;
    QStringList lines;
    bool closed = false;
};

// Cuts the line-protocol bytes of one source into record lines. Messages end with EOT; their
// lines end with CR or LF. Bytes not yet ended by EOT wait in the source's own accumulator. Each
// complete message gives its lines followed by a line holding EOT alone; text after the
// message's last line end goes back to the front of the accumulator and joins the next message
// of the same source.
class LineFraming {
public:
    static constexpr char kEot = '\x04';
    static constexpr qsizetype kDefaultLimit = qsizetype(16) << 20;

    explicit LineFraming(qsizetype limit = kDefaultLimit) : m_limit(limit) {}

    struct Cut {
        QStringList lines;     // the lines of the complete messages, each ended by an EOT line
        QByteArray messages;   // the bytes received for them, through their last EOT
        qsizetype dropped = 0; // bytes of unfinished text dropped to keep within the limit
    };

    // Appends a chunk and cuts every complete message.
    Cut append(const QByteArray& chunk);

    const QByteArray& accumulator() const { return m_accumulator; }
    // Bytes received and not yet part of a complete message.
    qsizetype unfinished() const { return m_received.size(); }

private:
    static QByteArray takeLines(const QByteArray& message, QStringList& lines);

    qsizetype m_limit;
    QByteArray m_accumulator;
    QByteArray m_received;
};
