#include "TMicroWriter.h"

#include <QtEndian>

#include "Windows1252.h"
#include "ZelTypes.h"

void TMicroWriter::SetStream(QByteArray* stream) {
    m_base = stream;
    m_current = stream;
    m_stack.clear();
    m_checksum = 0;
}

QString TMicroWriter::HeaderText() const {
    return QLatin1String(m_checksumMode ? "*" : "") + QLatin1String(ZelText::kHeaderWords) +
           QStringLiteral(" %1.%2").arg(m_versionMajor).arg(m_versionMinor);
}

void TMicroWriter::WriteHeader() {
    BeginFolding(1);
    WriteStringRecord(9, HeaderText());
}

void TMicroWriter::put(const char* bytes, qint64 count, bool alwaysCounted) {
    if (m_current == nullptr)
        throw EZelError(ZelText::kNoStream);
    m_current->append(bytes, count);
    if (m_checksumMode || alwaysCounted)
        addToChecksum(bytes, count);
}

void TMicroWriter::WriteRaw(const char* bytes, qint64 count) {
    put(bytes, count);
}

void TMicroWriter::WriteInt16(qint16 value) {
    const qint16 little = qToLittleEndian(value);
    put(reinterpret_cast<const char*>(&little), sizeof little);
}

void TMicroWriter::WriteInt32(qint32 value) {
    const qint32 little = qToLittleEndian(value);
    put(reinterpret_cast<const char*>(&little), sizeof little);
}

void TMicroWriter::WriteDouble(double value) {
    const double little = qToLittleEndian(value);
    put(reinterpret_cast<const char*>(&little), sizeof little);
}

void TMicroWriter::WriteByte(quint8 value) {
    put(reinterpret_cast<const char*>(&value), 1);
}

void TMicroWriter::WriteTag(qint32 tag) {
    WriteInt32(tag);
}

void TMicroWriter::WriteRecordHead(qint32 tag, qint32 size) {
    WriteInt32(tag);
    WriteInt32(size);
}

void TMicroWriter::WriteByteRecord(qint32 tag, quint8 value) {
    WriteRecordHead(tag, 1);
    WriteByte(value);
}

void TMicroWriter::WriteIntRecord(qint32 tag, qint32 value) {
    WriteRecordHead(tag, 4);
    WriteInt32(value);
}

void TMicroWriter::WriteDoubleRecord(qint32 tag, double value) {
    WriteRecordHead(tag, 8);
    WriteDouble(value);
}

void TMicroWriter::WriteBlockRecord(qint32 tag, const char* bytes, qint32 count) {
    WriteRecordHead(tag, count);
    WriteRaw(bytes, count);
}

void TMicroWriter::WriteString(const QString& text) {
    const QByteArray characters = Windows1252::encode(text);
    WriteInt32(qint32(characters.size()) + 4);
    WriteInt32(1);
    put(characters.constData(), characters.size(), true);
}

void TMicroWriter::WriteStringRecord(qint32 tag, const QString& text) {
    WriteTag(tag);
    WriteString(text);
}

void TMicroWriter::WriteChecksum() {
    const quint8 checksum = m_checksum;
    m_current->append(char(checksum));
    TWriteFoldingObject& open = m_stack.back();
    open.savedChecksum = quint8(open.savedChecksum + 2 * checksum);
    m_checksum = 0;
}

void TMicroWriter::openLevel(qint32 tag, bool isFolding) {
    const quint8 saved = m_checksum;
    if (isFolding)
        m_checksum = 0;
    WriteTag(tag);
    auto buffer = std::make_unique<QByteArray>();
    QByteArray* payload = buffer.get();
    m_stack.push_back({saved, isFolding, m_current, std::move(buffer)});
    if (!isFolding)
        m_stack.back().savedChecksum = 0; // a group keeps one running checksum throughout
    m_current = payload;
}

void TMicroWriter::BeginFolding(qint32 tag) {
    openLevel(tag, true);
}

void TMicroWriter::BeginGroup(qint32 tag) {
    openLevel(tag, false);
}

bool TMicroWriter::EndFolding() {
    if (m_stack.empty())
        throw EZelError(ZelText::kFoldingsDoNotMatch);
    if (!m_stack.back().isFolding)
        throw EZelError(ZelText::kGroupsAndFoldingsMixed);
    qint32 size = qint32(m_current->size());
    if (m_checksumMode) {
        size += 1;
        const qint32 little = qToLittleEndian(size);
        addToChecksum(reinterpret_cast<const char*>(&little), sizeof little);
        WriteChecksum();
    }
    TWriteFoldingObject level = std::move(m_stack.back());
    m_stack.pop_back();
    m_current = level.savedStream;
    const qint32 little = qToLittleEndian(size);
    m_current->append(reinterpret_cast<const char*>(&little), sizeof little);
    m_current->append(*level.buffer);
    m_checksum = quint8(m_checksum + level.savedChecksum);
    return true;
}

void TMicroWriter::EndGroup() {
    if (m_stack.empty())
        throw EZelError(ZelText::kFoldingsDoNotMatch);
    if (m_stack.back().isFolding)
        throw EZelError(ZelText::kGroupsAndFoldingsMixed);
    TWriteFoldingObject level = std::move(m_stack.back());
    m_stack.pop_back();
    m_current = level.savedStream;
    WriteInt32(qint32(level.buffer->size()));
    m_current->append(*level.buffer);
}
