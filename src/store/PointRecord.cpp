#include "PointRecord.h"

#include <QtEndian>

#include "StoredFileTags.h"
#include "Windows1252.h"

template <typename Number> void PointRecord::putNumber(Number value) {
    const Number little = qToLittleEndian(value);
    put(&little, sizeof little);
}

void PointRecord::begin(qint32 tag) {
    putNumber<qint32>(tag);
    putNumber<qint32>(0);
}

void PointRecord::finish() {
    qToLittleEndian<qint32>(qint32(m_bytes.size() - 8), m_bytes.data() + 4);
}

void PointRecord::putString(const QString& text) {
    const qsizetype length = text.size();
    bool plain = true;
    for (const QChar c : text)
        plain = plain && c.unicode() < 0x80;
    if (!plain) {
        // Characters beyond ASCII take the code page's way (and its '?' for what it lacks).
        const QByteArray characters = Windows1252::encode(text);
        putNumber<qint32>(qint32(characters.size()) + 4);
        putNumber<qint32>(1);
        put(characters.constData(), characters.size());
        return;
    }
    putNumber<qint32>(qint32(length) + 4);
    putNumber<qint32>(1);
    const qsizetype at = m_bytes.size();
    m_bytes.resize(at + length);
    char* out = m_bytes.data() + at;
    for (qsizetype i = 0; i < length; ++i)
        out[i] = char(text.at(i).unicode());
}

PointRecord PointRecord::point(qint16 index, TAnalyseResult status, qint32 attemptNo,
                               const QString& vialId, const QString& statusText, double value,
                               double time) {
    PointRecord record;
    record.begin(StoredTag::ResultPoint);
    record.putNumber<qint16>(index);
    record.putNumber<double>(time);
    record.putNumber<double>(value);
    record.putNumber<quint8>(quint8(status));
    record.putString(statusText);
    record.putString(vialId);
    record.putNumber<qint32>(attemptNo);
    record.finish();
    return record;
}

PointRecord PointRecord::serieBreak(qint16 index, double time) {
    PointRecord record;
    record.begin(StoredTag::EndPoint);
    record.putNumber<qint16>(index);
    record.putNumber<double>(time);
    record.putNumber<double>(0.0);
    record.finish();
    return record;
}
