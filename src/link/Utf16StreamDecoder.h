#pragma once

#include <QByteArray>
#include <QString>

// Decodes what one connection receives as UTF-16 little-endian text. A byte left over at the
// end of a read (a TCP segment may end in the middle of a character) is kept for the next read
// of the same connection. Characters the 8-bit code page cannot hold become '?', as they would
// in the stored texts.
//
// Code units of value 0 are dropped. Some senders end each message with one; what follows it in
// the same read is the next message and is decoded as well.
class Utf16StreamDecoder {
public:
    QString decode(const QByteArray& bytes);
    bool hasCarriedByte() const { return m_hasCarry; }
    void reset() { m_hasCarry = false; }

private:
    bool m_hasCarry = false;
    char m_carry = 0;
};
