#include "TMicroReader.h"

#include <cstring>

#include <QtEndian>

#include "ByteCursor.h"
#include "ZelTypes.h"

namespace {

constexpr qint32 kRootTag = 1;
constexpr qint32 kHeaderTag = 9;

struct HeaderText {
    bool checksums = false;
    bool valid = false;
    qint32 major = 0;
    qint32 minor = 0;
};

// "[*]Keldamed Analysis Save File Header <major>.<minor>"
HeaderText parseHeader(const QString& text) {
    HeaderText header;
    const QString words = QLatin1String(ZelText::kHeaderWords);
    QString rest;
    if (text.startsWith(u'*' + words)) {
        header.checksums = true;
        rest = text.mid(words.size() + 1);
    } else if (text.startsWith(words)) {
        rest = text.mid(words.size());
    } else {
        return header;
    }
    const qsizetype dot = rest.indexOf(u'.');
    bool majorOk = false;
    bool minorOk = false;
    header.major = rest.left(dot).trimmed().toInt(&majorOk);
    header.minor = dot < 0 ? 0 : rest.mid(dot + 1).trimmed().toInt(&minorOk);
    header.valid = dot >= 0 && majorOk && minorOk;
    return header;
}

bool lengthIncludesCharSize(qint32 major, qint32 minor) {
    return major > 1 || (major == 1 && minor >= 2);
}

} // namespace

void TMicroReader::reset() {
    m_versionMajor = kCurrentMajor;
    m_versionMinor = kCurrentMinor;
    m_stopped = false;
    m_stopPosition = -1;
    m_foldings.clear();
    m_groups.clear();
    m_checksum = 0;
    m_fileValid = true;
    m_pos = 0;
    m_foldingEnd = m_data->size();
    m_rootEnd = m_data->size();
    m_truncation = {};
    m_closedObject = nullptr;
}

bool TMicroReader::Load(const QByteArray& stream, const Handler& handler) {
    m_data = &stream;
    reset();
    try {
        readCurrentHeader();
        m_layout = HeaderLayout::RootFolding;
    } catch (const EZelError&) {
        try {
            m_foldings.clear();
            m_pos = 0;
            m_checksum = 0;
            m_foldingEnd = m_data->size();
            readOldHeader();
        } catch (const EZelError&) {
            m_versionMajor = 1;
            m_versionMinor = 0;
            m_foldings.clear();
            m_pos = 0;
            m_checksum = 0;
            readOldHeader();
        }
    }
    return m_checksumMode ? loadWithChecksums(handler) : loadWithoutChecksums(handler);
}

void TMicroReader::readCurrentHeader() {
    m_checksumMode = true;
    if (ReadTag() != kRootTag)
        throw EInvalidZelFIle(ZelText::kNoZelFile);
    BeginFolding(kRootTag);
    m_rootEnd = m_foldingEnd;
    if (ReadTag() != kHeaderTag)
        throw EInvalidZelFIle(ZelText::kNotValidZelFile);
    const QString text = readHeaderString(ReadSize());
    const HeaderText header = parseHeader(text);
    if (!text.startsWith(u'*' + QLatin1String(ZelText::kHeaderWords)) &&
        !text.startsWith(QLatin1String(ZelText::kHeaderWords)))
        throw EInvalidZelFIle(ZelText::kNotValidZelFile);
    if (!header.valid) {
        m_versionMajor = 0;
        m_versionMinor = 0;
        throw EInvalidZelFIle(ZelText::kNotValidZelFile);
    }
    m_checksumMode = header.checksums;
    m_versionMajor = header.major;
    m_versionMinor = header.minor;
}

void TMicroReader::readOldHeader() {
    m_checksumMode = false;
    if (ReadTag() != kRootTag) {
        m_layout = HeaderLayout::Headerless;
        return;
    }
    const QString text = readHeaderString(ReadSize());
    const HeaderText header = parseHeader(text);
    if (!text.startsWith(QLatin1String(ZelText::kHeaderWords)) || !header.valid || header.checksums)
        throw EInvalidZelFIle(ZelText::kNotValidZelFile);
    m_versionMajor = header.major;
    m_versionMinor = header.minor;
    m_layout = HeaderLayout::OldHeader;
}

// The header string's length field counts the character-size bytes from version 1.2 on, and
// the characters alone before. Which rule applies is only known from the text itself, so both
// readings are tried and the one whose version agrees with its rule is taken.
QString TMicroReader::readHeaderString(qint64 declaredLength) {
    char charSizeBytes[4];
    take(charSizeBytes, 4, false);
    const qint32 charSize = qFromLittleEndian<qint32>(charSizeBytes);
    if (charSize != 1 && charSize != 2)
        return {};
    const qint64 available = m_data->size() - m_pos;
    for (const bool withCharSize : {true, false}) {
        const qint64 count = withCharSize ? declaredLength - 4 : declaredLength;
        if (count < 0 || count > available)
            continue;
        const QString text = decodeStreamCharacters(m_data->constData() + m_pos, count, charSize);
        const HeaderText header = parseHeader(text);
        if (header.valid && lengthIncludesCharSize(header.major, header.minor) == withCharSize) {
            take(nullptr, count, true);
            return text;
        }
    }
    const qint64 count = StringLengthIncludesCharSize() ? declaredLength - 4 : declaredLength;
    if (count < 0 || count > available)
        throw EZelError(ZelText::kErrorInFile);
    const QString text = decodeStreamCharacters(m_data->constData() + m_pos, count, charSize);
    take(nullptr, count, true);
    return text;
}

bool TMicroReader::recordFits(qint64 limit) const {
    const qint64 width = WideSizes() ? 8 : 4;
    if (m_pos + width > limit)
        return false;
    const qint32 size = qFromLittleEndian<qint32>(m_data->constData() + m_pos);
    return size >= 0 && m_pos + width + size <= limit;
}

bool TMicroReader::loadWithChecksums(const Handler& handler) {
    if (m_onHeaderRead)
        m_onHeaderRead(*this);
    while (m_pos < m_rootEnd) {
        while (m_pos < m_foldingEnd) {
            m_recordOffset = m_pos;
            const qint32 tag = ReadTag();
            if (!recordFits(m_foldingEnd))
                throw EZelError(ZelText::kErrorInFile);
            handler(tag, *this);
            if (m_stopped) {
                m_stopPosition = m_pos;
                return m_fileValid;
            }
        }
        if (m_foldings.empty())
            break;
        EndFolding();
    }
    if (!m_foldings.empty())
        EndFolding();
    if (!m_foldings.empty())
        throw EZelError(ZelText::kFoldingsDoNotMatch);
    return m_fileValid;
}

qint64 TMicroReader::groupEnd() const {
    if (m_groups.empty())
        return m_data->size();
    return m_groups.back().start + m_groups.back().size;
}

bool TMicroReader::loadWithoutChecksums(const Handler& handler) {
    const qint64 streamEnd = m_data->size();
    while (m_pos < streamEnd) {
        while (m_pos < std::min(groupEnd(), streamEnd)) {
            m_recordOffset = m_pos;
            if (m_pos + 4 > streamEnd) {
                m_truncation = {m_pos, 0};
                return m_fileValid;
            }
            const qint32 tag = ReadTag();
            if (!recordFits(streamEnd)) {
                m_truncation = {m_recordOffset, tag};
                return m_fileValid;
            }
            handler(tag, *this);
            if (m_stopped) {
                m_stopPosition = m_pos;
                return m_fileValid;
            }
        }
        if (m_groups.empty())
            break;
        EndFolding();
    }
    return m_fileValid;
}

void TMicroReader::take(char* buffer, qint64 count, bool alwaysCounted) {
    if (m_data == nullptr)
        throw EZelError(ZelText::kNoStream);
    if (count < 0 || m_pos + count > m_data->size())
        throw EZelError(ZelText::kErrorInFile);
    const char* source = m_data->constData() + m_pos;
    if (buffer != nullptr)
        std::memcpy(buffer, source, size_t(count));
    if (m_checksumMode || alwaysCounted)
        addToChecksum(source, count);
    m_pos += count;
}

qint32 TMicroReader::ReadTag() {
    char bytes[4];
    take(bytes, 4, false);
    return qFromLittleEndian<qint32>(bytes);
}

qint32 TMicroReader::ReadSize() {
    char bytes[4];
    take(bytes, 4, false);
    if (WideSizes()) {
        // The upper half of a wide size is never summed.
        if (m_pos + 4 > m_data->size())
            throw EZelError(ZelText::kErrorInFile);
        m_pos += 4;
    }
    return qFromLittleEndian<qint32>(bytes);
}

void TMicroReader::BeginFolding(qint32 tag) {
    if (m_checksumMode) {
        const qint32 little = qToLittleEndian(tag);
        const quint8 tagSum = byteSum(reinterpret_cast<const char*>(&little), 4);
        m_foldings.push_back({quint8(m_checksum - tagSum), m_foldingEnd, nullptr});
        m_checksum = tagSum;
        const qint32 size = ReadSize();
        const qint64 end = m_pos + qint64(size) - 1;
        if (size < 1 || end >= m_data->size())
            throw EZelError(ZelText::kErrorInFile);
        m_foldingEnd = end;
    } else {
        const qint32 size = ReadSize();
        if (size < 0)
            throw EZelError(ZelText::kErrorInFile);
        m_groups.push_back({size, m_pos, nullptr});
    }
}

void TMicroReader::EnterGroup(qint32 tag) {
    if (m_checksumMode)
        ReadSize();
    else
        BeginFolding(tag);
}

bool TMicroReader::EndFolding() {
    if (m_checksumMode) {
        if (m_foldings.empty())
            throw EZelError(ZelText::kFoldingsDoNotMatch);
        if (m_pos != m_foldingEnd)
            throw EZelError(ZelText::kCorrupted);
        if (m_pos >= m_data->size())
            throw EZelError(ZelText::kErrorInFile);
        const quint8 stored = quint8(m_data->at(m_pos++)); // the stored byte is not summed
        const quint8 computed = m_checksum;
        const bool correct = stored == computed;
        if (!correct)
            m_fileValid = false;
        const TReadFoldingObject level = m_foldings.back();
        m_foldings.pop_back();
        m_checksum = quint8(level.savedChecksum + stored + computed);
        m_foldingEnd = level.savedEnd;
        m_closedObject = level.object;
        if (m_onLevelClosed)
            m_onLevelClosed(*this, stored, correct);
        return true;
    }
    if (m_groups.empty())
        throw EZelError(ZelText::kFoldingsDoNotMatch);
    const TReadGroupObject level = m_groups.back();
    m_groups.pop_back();
    const qint64 rest = level.start + level.size - m_pos;
    if (rest > 0)
        Skip(rest);
    m_closedObject = level.object;
    if (m_onLevelClosed)
        m_onLevelClosed(*this, 0, false);
    return true;
}

quint8 TMicroReader::ReadByte() {
    const qint32 size = ReadSize();
    if (size < 1)
        throw EZelError(ZelText::kErrorInFile);
    char value = 0;
    take(&value, 1, false);
    Skip(size - 1);
    return quint8(value);
}

qint32 TMicroReader::ReadInteger() {
    const qint32 size = ReadSize();
    char bytes[4] = {};
    switch (size) {
    case 1:
        take(bytes, 1, false);
        return qint8(bytes[0]);
    case 2:
        take(bytes, 2, false);
        return qFromLittleEndian<qint16>(bytes);
    case 4:
        take(bytes, 4, false);
        return qFromLittleEndian<qint32>(bytes);
    default:
        throw EZelError(ZelText::kErrorInFile);
    }
}

double TMicroReader::ReadDouble() {
    const qint32 size = ReadSize();
    if (size < 8)
        throw EZelError(ZelText::kErrorInFile);
    char bytes[8];
    take(bytes, 8, false);
    Skip(size - 8);
    return qFromLittleEndian<double>(bytes);
}

QString TMicroReader::readStringBody(qint64 declaredLength) {
    if (m_pos + 4 > m_data->size())
        throw EZelError(ZelText::kErrorInFile);
    const qint32 charSize = qFromLittleEndian<qint32>(m_data->constData() + m_pos);
    if (charSize != 1 && charSize != 2)
        return {}; // unknown character size: the characters are left unread
    take(nullptr, 4, false);
    const qint64 count = StringLengthIncludesCharSize() ? declaredLength - 4 : declaredLength;
    if (count < 0 || m_pos + count > m_data->size())
        throw EZelError(ZelText::kErrorInFile);
    const QString text = decodeStreamCharacters(m_data->constData() + m_pos, count, charSize);
    take(nullptr, count, true);
    return text;
}

QString TMicroReader::ReadString() {
    return readStringBody(ReadSize());
}

void TMicroReader::ReadBlock(char* buffer, qint32 count) {
    if (ReadSize() != count)
        throw EZelError(ZelText::kErrorInFile);
    take(buffer, count, false);
}

void TMicroReader::ReadRaw(char* buffer, qint64 count) {
    take(buffer, count, false);
}

QByteArray TMicroReader::ReadRawBytes(qint64 count) {
    if (count < 0 || m_pos + count > StreamSize())
        throw EZelError(ZelText::kErrorInFile);
    QByteArray bytes(count, Qt::Uninitialized);
    take(bytes.data(), count, false);
    return bytes;
}

void TMicroReader::SkipRecord() {
    Skip(ReadSize());
}

void TMicroReader::Skip(qint64 count) {
    if (count < 0)
        throw EZelError(ZelText::kErrorInFile);
    if (m_checksumMode) {
        take(nullptr, count, false);
        return;
    }
    m_pos += count;
}

void TMicroReader::MarkPayload(qint64 length) {
    m_markPosition = m_pos;
    m_markLength = length;
}

void TMicroReader::SkipRestOfPayload() {
    const qint64 rest = m_markPosition + m_markLength - m_pos;
    if (rest > 0)
        Skip(rest);
}

int TMicroReader::Depth() const {
    return int(m_checksumMode ? m_foldings.size() : m_groups.size());
}

TStreamObject* TMicroReader::CurrentObject() const {
    if (m_checksumMode)
        return m_foldings.empty() ? nullptr : m_foldings.back().object;
    return m_groups.empty() ? nullptr : m_groups.back().object;
}

void TMicroReader::SetCurrentObject(TStreamObject* object) {
    if (m_checksumMode) {
        if (m_foldings.empty())
            throw EZelError(ZelText::kSetCurrentObject);
        m_foldings.back().object = object;
        return;
    }
    if (m_groups.empty())
        throw EZelError(ZelText::kSetCurrentObject);
    m_groups.back().object = object;
}

void TMicroReader::StopReading() {
    m_stopped = true;
    m_foldings.clear();
    m_groups.clear();
}

qint64 TMicroReader::Position() const {
    if (m_data == nullptr)
        throw EZelError(ZelText::kNoStream);
    return m_pos;
}
