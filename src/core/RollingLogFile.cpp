#include "RollingLogFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include "Clock.h"
#include "RenameOver.h"
#include "Windows1252.h"

namespace {

QByteArray encodedLine(const QString& line) {
    return Windows1252::encode(line) + "\r\n";
}

// Whether an event loop of this thread runs and will come back for a queued call before it
// waits: only then may a write wait for the end of the turn.
bool loopRunsFor(const QObject& context) {
    return QCoreApplication::instance() != nullptr &&
           QThread::currentThread() == context.thread() &&
           QThread::currentThread()->loopLevel() > 0;
}

// Writes all bytes unbuffered, so that a short write (a full disk) is seen at once.
bool writeAll(QFile& file, const QByteArray& bytes) {
    return file.write(bytes) == bytes.size();
}

} // namespace

RollingLogFile::RollingLogFile(int trimAbove, const Clock& clock)
    : m_trimAbove(trimAbove), m_clock(clock) {
    m_retry.setInterval(kRetryCheckMilliseconds);
    QObject::connect(&m_retry, &QTimer::timeout, &m_context, [this] { retryIfDue(); });
}

RollingLogFile::~RollingLogFile() {
    try {
        if (m_unwritten)
            writeFile(true);
    } catch (...) {
    }
}

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
    m_bytes.clear();
    m_lineSizes.clear();
    for (QString& line : lines) {
        if (line.endsWith(u'\r'))
            line.chop(1);
        const QByteArray encoded = encodedLine(line);
        m_bytes += encoded;
        m_lineSizes.append(encoded.size());
    }
    m_lines = lines;
}

void RollingLogFile::append(const QString& line) {
    try {
        if (m_lines.size() > m_trimAbove) {
            m_lines.removeFirst();
            m_bytes.remove(0, m_lineSizes.takeFirst());
        }
        const QByteArray encoded = encodedLine(line);
        m_lines.append(line);
        m_bytes += encoded;
        m_lineSizes.append(encoded.size());
        m_unwritten = true;
        writeSoon();
    } catch (...) {
        m_lastWriteFailed = true;
    }
}

void RollingLogFile::writeSoon() {
    if (!loopRunsFor(m_context)) {
        writeFile();
        return;
    }
    if (m_writeQueued)
        return;
    m_writeQueued = true;
    QMetaObject::invokeMethod(
        &m_context,
        [this] {
            m_writeQueued = false;
            try {
                writeFile();
            } catch (...) {
                m_lastWriteFailed = true;
            }
        },
        Qt::QueuedConnection);
}

void RollingLogFile::retryIfDue() {
    try {
        if (!m_unwritten)
            m_retry.stop();
        else if (!m_nextWriteAttempt.isValid() || m_clock.now() >= m_nextWriteAttempt)
            writeFile();
    } catch (...) {
    }
}

void RollingLogFile::writeFile(bool evenDuringPause) {
    if (m_filePath.isEmpty() || !m_unwritten)
        return;
    if (m_lastWriteFailed && !evenDuringPause && m_nextWriteAttempt.isValid() &&
        m_clock.now() < m_nextWriteAttempt)
        return;

    bool written = replaceFile();
    if (!written) {
        // The folder may have gone (removed by a clean-up, a share reconnected): it is created
        // again as at start-up, one level.
        const QString folder = QFileInfo(m_filePath).absolutePath();
        if (!QFileInfo(folder).isDir() && QDir().mkdir(folder))
            written = replaceFile();
    }
    m_lastWriteFailed = !written;
    if (written) {
        m_unwritten = false;
        m_nextWriteAttempt = QDateTime();
        m_retry.stop();
        return;
    }
    m_nextWriteAttempt = m_clock.now().addSecs(kRetryPauseSeconds);
    if (!m_retry.isActive() && QCoreApplication::instance() != nullptr &&
        QThread::currentThread() == m_context.thread())
        m_retry.start();
}

// The new content goes to a file beside the log, which then replaces the log by a rename.
bool RollingLogFile::replaceFile() const {
    const QString temporary = m_filePath + QStringLiteral(".new");
    QFile file(temporary);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        return QFileInfo(m_filePath).isFile() && writeDirectly();
    const bool complete = writeAll(file, m_bytes);
    file.close();
    if (complete && renameOver(temporary, m_filePath))
        return true;
    QFile::remove(temporary);
    // Readers of the log (an editor, a tail) may hold the file so that it cannot be replaced
    // (Windows); it is rewritten in place then.
    return complete && writeDirectly();
}

bool RollingLogFile::writeDirectly() const {
    QFile file(m_filePath);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered) &&
           writeAll(file, m_bytes);
}
