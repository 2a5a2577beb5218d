#pragma once

#include <QString>

// The lock that makes one collector at a time the writer of a patient's data file, also across
// machines that share the data root: a small file in the patient's folder, created only when
// no such file exists, holding the owner's host name and process number. A lock left by a
// process of this machine that no longer runs is taken over at once; one of another machine
// when its holder has not renewed it for kStaleAfterMs of this process's own time (so clocks
// of the machines need not agree). The holder renews it while it works.
class PatientFileLock {
public:
    static constexpr auto kFileName = "Tarvo.pil.lock";
    static constexpr qint64 kStaleAfterMs = 120000;
    static constexpr qint64 kRenewEveryMs = 5000;

    explicit PatientFileLock(const QString& folder);
    ~PatientFileLock();
    PatientFileLock(const PatientFileLock&) = delete;
    PatientFileLock& operator=(const PatientFileLock&) = delete;

    // Takes the lock unless another live owner holds it. The share must create a file only
    // when none of its name exists (exclusive creation), as local disks, SMB and NFS v3+ do.
    bool tryLock();
    bool isLocked() const { return m_locked; }
    // Who holds the lock, as its file says ("host, process n"), after a tryLock that failed.
    const QString& holder() const { return m_holder; }
    // Rewrites the lock when kRenewEveryMs have passed since the last time, so that collectors
    // on other machines see its owner at work. False when the lock is no longer this
    // process's (another collector took it over as stale).
    bool renew();
    // Whether the lock file still names this process.
    bool stillOurs() const;
    void unlock();

    // This process as the lock names it: host name and process number.
    static QString ownerText();

private:
    bool create();
    bool staleOwner(const QByteArray& content);

    QString m_path;
    bool m_locked = false;
    QString m_holder;
    qint64 m_renewals = 0;
    qint64 m_lastRenewMs = 0;
};
