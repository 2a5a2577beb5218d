#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

// A small tmpfs mounted for one test, to see what a really full disk does. Mounting needs the
// right to mount (root); where it is missing, mounted() is false and whyNot() says why.
class SmallTmpfs {
public:
    explicit SmallTmpfs(const QString& size = QStringLiteral("2m")) {
        QProcess mount;
        mount.start(QStringLiteral("mount"),
                    {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                     QStringLiteral("size=") + size, QStringLiteral("tmpfs"), m_dir.path()});
        if (!mount.waitForFinished(10000) || mount.exitStatus() != QProcess::NormalExit ||
            mount.exitCode() != 0) {
            m_whyNot = QStringLiteral("cannot mount a tmpfs here (") +
                       QString::fromLocal8Bit(mount.readAllStandardError()).trimmed() +
                       mount.errorString() + u')';
            return;
        }
        m_mounted = true;
    }

    ~SmallTmpfs() {
        if (m_mounted)
            QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), m_dir.path()});
    }

    SmallTmpfs(const SmallTmpfs&) = delete;
    SmallTmpfs& operator=(const SmallTmpfs&) = delete;

    bool mounted() const { return m_mounted; }
    QString whyNot() const { return m_whyNot; }
    QString path() const { return m_dir.path(); }

    // Takes every free byte with a filler file.
    void fill() {
        QFile filler(fillerPath());
        if (!filler.open(QIODevice::Append | QIODevice::Unbuffered))
            return;
        const QByteArray block(64 * 1024, 'f');
        while (filler.write(block) == block.size()) {
        }
        const QByteArray byte(1, 'f');
        while (filler.write(byte) == 1) {
        }
    }

    // Gives the space back.
    void release() { QFile::remove(fillerPath()); }

private:
    QString fillerPath() const { return m_dir.path() + QStringLiteral("/filler"); }

    QTemporaryDir m_dir;
    bool m_mounted = false;
    QString m_whyNot;
};
