#include "JsonWriter.h"

#include <cmath>

#include <QLocale>

QString JsonWriter::quoted(const QString& text) {
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '"':
            out += QStringLiteral("\\\"");
            break;
        case '\\':
            out += QStringLiteral("\\\\");
            break;
        case '\n':
            out += QStringLiteral("\\n");
            break;
        case '\r':
            out += QStringLiteral("\\r");
            break;
        case '\t':
            out += QStringLiteral("\\t");
            break;
        default:
            if (c.unicode() < 0x20)
                out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QChar(u'0'));
            else
                out += c;
        }
    }
    return out + u'"';
}

void JsonWriter::prefix(const QString& key) {
    if (!m_levels.empty()) {
        Level& level = m_levels.back();
        if (!level.empty)
            m_text += u',';
        if (level.inlined)
            m_text += level.empty ? QString() : QStringLiteral(" ");
        else
            m_text += u'\n' + QString(int(m_levels.size()) * 2, u' ');
        level.empty = false;
    }
    if (!key.isEmpty())
        m_text += quoted(key) + QStringLiteral(": ");
}

void JsonWriter::open(const QString& key, bool inlined, QChar bracket) {
    prefix(key);
    m_text += bracket;
    const bool parentInlined = !m_levels.empty() && m_levels.back().inlined;
    m_levels.push_back({inlined || parentInlined, true});
}

void JsonWriter::close(QChar bracket) {
    const Level level = m_levels.back();
    m_levels.pop_back();
    if (!level.inlined && !level.empty)
        m_text += u'\n' + QString(int(m_levels.size()) * 2, u' ');
    m_text += bracket;
    if (m_levels.empty())
        m_text += u'\n';
}

void JsonWriter::beginObject(const QString& key, bool inlined) {
    open(key, inlined, u'{');
}

void JsonWriter::endObject() {
    close(u'}');
}

void JsonWriter::beginArray(const QString& key, bool inlined) {
    open(key, inlined, u'[');
}

void JsonWriter::endArray() {
    close(u']');
}

void JsonWriter::value(const QString& key, const QString& text) {
    prefix(key);
    m_text += quoted(text);
}

void JsonWriter::value(const QString& key, double number) {
    prefix(key);
    if (!std::isfinite(number))
        m_text += QStringLiteral("null");
    else
        m_text += QString::number(number, 'g', QLocale::FloatingPointShortest);
}

void JsonWriter::value(const QString& key, qint64 number) {
    prefix(key);
    m_text += QString::number(number);
}

void JsonWriter::value(const QString& key, bool flag) {
    prefix(key);
    m_text += flag ? QStringLiteral("true") : QStringLiteral("false");
}

void JsonWriter::null(const QString& key) {
    prefix(key);
    m_text += QStringLiteral("null");
}
