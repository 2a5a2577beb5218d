#pragma once

#include <QByteArray>
#include <QStringList>

// Cuts line-protocol bytes into record lines. Messages end with EOT; their lines end with CR.
// Bytes not yet ended by EOT wait in the accumulator (one for all connections). Each complete
// message adds its lines to the line queue, followed by a line holding EOT alone; text after the
// message's last CR goes back to the front of the accumulator and joins the next message.
class LineFraming {
public:
    static constexpr char kEot = '\x04';
    static constexpr qsizetype kDefaultLimit = qsizetype(16) << 20;

    explicit LineFraming(qsizetype limit = kDefaultLimit) : m_limit(limit) {}

    // Appends a chunk and moves the lines of every complete message to the queue. Returns the
    // number of bytes of unfinished text dropped to keep the accumulator within its limit.
    qsizetype append(const QByteArray& chunk, QStringList& theLines);

    const QByteArray& accumulator() const { return m_accumulator; }

private:
    static QByteArray takeLines(QByteArray message, QStringList& theLines);

    qsizetype m_limit;
    QByteArray m_accumulator;
};
