#pragma once

#include <deque>

#include <QString>

// A connection's received XML text that is not yet cut into messages, with the framing
// operations that cut it. Where the start and end markers stand is found once, as text
// arrives, in one pass over it, so the work stays linear in the text received however it is
// split.
class PendingText {
public:
    static constexpr auto kStartMarker = "<?xml";
    static constexpr auto kEndMarker = "</Tarvo>";

    void append(QStringView text);
    void clear();
    qsizetype size() const { return m_buffer.size() - m_start; }
    QString text() const { return m_buffer.mid(m_start); }

    // Whether a complete message can be cut; drops text that can belong to no message: an end
    // marker without a start before it (with everything up to it), and an unfinished message
    // followed by a new start marker before the end marker.
    bool HasCompleteMessage();
    // Cuts the first complete message ("<?xml" through "</Tarvo>"); empty when there is none.
    QString CutMessage();
    // Whether a complete message can be cut, dropping on the way every end marker that belongs
    // to no message: a message behind stray end markers is not left waiting for more text.
    bool FindCompleteMessage();

    // Keeps the text within the limit by dropping the oldest unfinished text: everything before
    // the last start marker, or, when that message alone is over the limit, all but the last
    // few characters. Returns how many characters were dropped.
    qsizetype enforceLimit(qsizetype limit);

private:
    struct MarkerIndex {
        explicit MarkerIndex(const char* text) : marker(QLatin1String(text)) {}
        QLatin1String marker;
        std::deque<qsizetype> positions; // in the buffer, in order
    };

    void scan();
    void removeFront(qsizetype count);
    void compact();

    QString m_buffer;
    qsizetype m_start = 0; // text before this position has been removed
    MarkerIndex m_starts{kStartMarker};
    MarkerIndex m_ends{kEndMarker};
    qsizetype m_scannedUntil = 0; // every marker ending before this position is indexed
};
