#include "RollingLogFile.h"

#include <QFile>
#include <QSaveFile>

#include "Clock.h"
#include "Windows1252.h"

RollingLogFile::RollingLogFile(int trimAbove, const Clock& clock)
    : m_trimAbove(trimAbove), m_clock(clock) {}

void RollingLogFile::loadExisting() {
    QFile file(m_filePath);
    if (m_filePath.isEmpty() || !file.open(QIODevice::ReadOnly))
        return;
    // An earlier run never leaves more than the window; a larger file is not ours to load whole.
    constexpr qint64 kLargestLoadedLog = 16 << 20;
    QByteArray bytes =
        file.size() > kLargestLoadedLog
            ? (file.seek(file.size() - kLargestLoadedLog), file.read(kLargestLoadedLog))
            : file.readAll();
    QStringList lines = Windows1252::decode(bytes).split(u'\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    for (QString& line : lines) {
        if (line.endsWith(u'\r'))
            line.chop(1);
    }
    m_lines = lines;
}

void RollingLogFile::append(const QString& line) {
    try {
        if (m_lines.size() > m_trimAbove)
            m_lines.removeFirst();
        m_lines.append(line);
        writeFile();
    } catch (...) {
        m_lastWriteFailed = true;
    }
}

void RollingLogFile::writeFile() {
    if (m_filePath.isEmpty())
        return;
    const QDateTime now = m_clock.now();
    if (m_lastWriteFailed && m_nextWriteAttempt.isValid() && now < m_nextWriteAttempt)
        return;

    QByteArray bytes;
    for (const QString& line : std::as_const(m_lines)) {
        bytes += Windows1252::encode(line);
        bytes += "\r\n";
    }
    QSaveFile file(m_filePath);
    // Readers of the log (an editor, a tail) may hold the file open; replace it in place then.
    file.setDirectWriteFallback(true);
    const bool written =
        file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
    m_lastWriteFailed = !written;
    m_nextWriteAttempt = written ? QDateTime() : now.addSecs(kRetryPauseSeconds);
}
