#pragma once

#include <QString>
#include <vector>

// Writes JSON with keys in the order they are given, indented for reading; objects and arrays
// opened "inline" stay on one line (points, problems), so long lists stay easy to scan.
class JsonWriter {
public:
    void beginObject(const QString& key = {}, bool inlined = false);
    void endObject();
    void beginArray(const QString& key = {}, bool inlined = false);
    void endArray();

    void value(const QString& key, const QString& text);
    void value(const QString& key, const char* text) { value(key, QString::fromUtf8(text)); }
    void value(const QString& key, double number);
    void value(const QString& key, qint64 number);
    void value(const QString& key, int number) { value(key, qint64(number)); }
    void value(const QString& key, bool flag);
    void null(const QString& key);

    const QString& text() const { return m_text; }

    static QString quoted(const QString& text);

private:
    struct Level {
        bool inlined;
        bool empty;
    };
    void prefix(const QString& key);
    void open(const QString& key, bool inlined, QChar bracket);
    void close(QChar bracket);

    QString m_text;
    std::vector<Level> m_levels;
};
