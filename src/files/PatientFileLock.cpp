#include "PatientFileLock.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include "FileStamp.h"
#include "ProcessIdentity.h"

namespace {

// What this process saw of another machine's lock: its contents and stamp, and since when
// (this process's own clock) they have not changed.
struct Sighting {
    QByteArray content;
    FileStamp stamp;
    QElapsedTimer unchangedFor;
};

QHash<QString, Sighting>& sightings() {
    static QHash<QString, Sighting> seen;
    return seen;
}

QElapsedTimer& processClock() {
    static QElapsedTimer clock = [] {
        QElapsedTimer started;
        started.start();
        return started;
    }();
    return clock;
}

QByteArray readLock(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.read(4096);
}

// The lines of a lock: host name, process number, renewal count.
QStringList linesOf(const QByteArray& content) {
    return QString::fromUtf8(content).split(u'\n');
}

} // namespace

PatientFileLock::PatientFileLock(const QString& folder)
    : m_path(QDir(folder).filePath(QLatin1String(kFileName))) {}

PatientFileLock::~PatientFileLock() {
    unlock();
}

QString PatientFileLock::ownerText() {
    return ProcessIdentity::hostName() + QStringLiteral(", process ") +
           QString::number(ProcessIdentity::currentProcessId());
}

bool PatientFileLock::create() {
    QFile file(m_path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return false;
    const QByteArray content = ProcessIdentity::hostName().toUtf8() + '\n' +
                               QByteArray::number(ProcessIdentity::currentProcessId()) + '\n' +
                               QByteArray::number(m_renewals) + '\n';
    const bool written = file.write(content) == content.size() && file.flush();
    file.close();
    if (!written) {
        QFile::remove(m_path);
        return false;
    }
    m_lastRenewMs = processClock().elapsed();
    return true;
}

bool PatientFileLock::staleOwner(const QByteArray& content) {
    const QStringList lines = linesOf(content);
    const QString host = lines.value(0);
    bool numbered = false;
    const qint64 process = lines.value(1).toLongLong(&numbered);
    if (numbered && host == ProcessIdentity::hostName()) {
        sightings().remove(m_path);
        return process != ProcessIdentity::currentProcessId() &&
               !ProcessIdentity::processRuns(process);
    }
    // Another machine's lock (or one whose owner had not yet written it): stale when it has not
    // changed for long enough.
    const FileStamp stamp = FileStamp::of(m_path);
    Sighting& seen = sightings()[m_path];
    if (!seen.unchangedFor.isValid() || seen.content != content || !(seen.stamp == stamp)) {
        seen.content = content;
        seen.stamp = stamp;
        seen.unchangedFor.start();
        return false;
    }
    return seen.unchangedFor.elapsed() > kStaleAfterMs;
}

bool PatientFileLock::tryLock() {
    if (m_locked)
        return true;
    m_holder.clear();
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (create()) {
            m_locked = true;
            sightings().remove(m_path);
            return true;
        }
        if (!QFileInfo::exists(m_path))
            return false; // the folder cannot be written
        const QByteArray content = readLock(m_path);
        const QStringList lines = linesOf(content);
        m_holder = lines.value(0) + QStringLiteral(", process ") + lines.value(1);
        if (!staleOwner(content) || readLock(m_path) != content)
            return false;
        // Taken over: the stale file goes aside under a name of this process's own, so that
        // two collectors breaking it at once do not remove each other's new lock.
        const QString aside = m_path + u'.' + QString::number(ProcessIdentity::currentProcessId());
        QFile::remove(aside);
        if (!QFile::rename(m_path, aside))
            return false;
        QFile::remove(aside);
        sightings().remove(m_path);
    }
    return false;
}

bool PatientFileLock::stillOurs() const {
    if (!m_locked)
        return false;
    const QStringList lines = linesOf(readLock(m_path));
    return lines.value(0) == ProcessIdentity::hostName() &&
           lines.value(1).toLongLong() == ProcessIdentity::currentProcessId();
}

bool PatientFileLock::renew() {
    if (!m_locked)
        return false;
    if (processClock().elapsed() - m_lastRenewMs < kRenewEveryMs)
        return true;
    if (!stillOurs())
        return false;
    ++m_renewals;
    QFile file(m_path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(ProcessIdentity::hostName().toUtf8() + '\n' +
                   QByteArray::number(ProcessIdentity::currentProcessId()) + '\n' +
                   QByteArray::number(m_renewals) + '\n');
    }
    m_lastRenewMs = processClock().elapsed();
    return true;
}

void PatientFileLock::unlock() {
    if (!m_locked)
        return;
    const bool ours = stillOurs();
    m_locked = false;
    if (ours)
        QFile::remove(m_path);
}
