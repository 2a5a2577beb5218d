#include "TempRoot.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTcpServer>

TempRoot::TempRoot()
    : m_layout(InstallationLayout::portableAt(m_dir.path())),
      m_hives(m_layout.currentUserHiveFile, m_layout.localMachineHiveFile) {
    QDir().mkpath(m_layout.driveC);
}

void TempRoot::writeHive(RegistryRoot root, const QString& text) const {
    QFile file(m_hives.fileOf(root));
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(text.toUtf8());
}

QString TempRoot::writeFile(const QString& relativePath, const QByteArray& bytes) const {
    const QString path = QDir(m_dir.path()).filePath(relativePath);
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
    return path;
}

QByteArray TempRoot::readFile(const QString& path) const {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

int freeTcpPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::Any, 0);
    return probe.serverPort();
}
