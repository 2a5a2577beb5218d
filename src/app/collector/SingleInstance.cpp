#include "SingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>

namespace {
constexpr auto kLockFileName = "tarvo-collect.lock";
constexpr qint64 kLongestRequest = 4096;
// The first character of a refused request's answer on the socket (ASCII NAK); it is never
// part of an answer's text.
constexpr char16_t kRefusedMark = u'\x15';
// The first character (after a refusal's mark) of an answer from a collector that cannot store
// anything (ASCII SO); never part of an answer's text either.
constexpr char16_t kNotStoringMark = u'\x0e';
} // namespace

SingleInstance::SingleInstance(const QString& rootFolder, QObject* parent)
    : QObject(parent), m_rootFolder(QDir(rootFolder).absolutePath()),
      m_lock(QDir(rootFolder).filePath(QLatin1String(kLockFileName))) {
    // A lock left by a copy that died is taken over (the lock records the process id).
    m_lock.setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::serverNameFor(const QString& rootFolder) {
    const QByteArray key = QDir(rootFolder).absolutePath().toUtf8();
    return QStringLiteral("tarvo-collect-") +
           QString::fromLatin1(
               QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex().left(16));
}

bool SingleInstance::acquire() {
    QDir().mkpath(m_rootFolder);
    if (!m_lock.tryLock(0))
        return false;
    const QString name = serverNameFor(m_rootFolder);
    QLocalServer::removeServer(name); // a socket file left by a copy that died
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    m_server->listen(name);
    connect(m_server.get(), &QLocalServer::newConnection, this, &SingleInstance::serveConnection);
    return true;
}

void SingleInstance::serveConnection() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine()) {
                if (socket->bytesAvailable() > kLongestRequest)
                    socket->abort();
                return;
            }
            const QString command = QString::fromUtf8(socket->readLine(kLongestRequest)).trimmed();
            Answer answer;
            if (m_handler) {
                answer = m_handler(command);
            } else if (command == QLatin1String(kShowCommand)) {
                emit showRequested();
                answer.text = QStringLiteral("ok");
            } else {
                answer = {QStringLiteral("unknown command: ") + command, true};
            }
            QString sent = answer.notStoring ? QChar(kNotStoringMark) + answer.text : answer.text;
            if (answer.refused)
                sent.prepend(QChar(kRefusedMark));
            socket->write(sent.toUtf8() + '\n');
            socket->disconnectFromServer();
        });
    }
}

SingleInstance::Answer SingleInstance::ask(const QString& rootFolder, const QString& command,
                                           int timeoutMs) {
    return askAt(serverNameFor(rootFolder), command, timeoutMs);
}

SingleInstance::Answer SingleInstance::askAt(const QString& socketPath, const QString& command,
                                             int timeoutMs) {
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(timeoutMs))
        return {QString(), false, false};
    socket.write(command.toUtf8() + '\n');
    socket.waitForBytesWritten(timeoutMs);
    // The answer may have several lines; the running copy closes the connection after it.
    QByteArray answer;
    while (socket.state() == QLocalSocket::ConnectedState && socket.waitForReadyRead(timeoutMs))
        answer += socket.readAll();
    answer += socket.readAll();
    if (answer.isEmpty())
        return {QString(), false, false};
    QString text = QString::fromUtf8(answer);
    const bool refused = text.startsWith(QChar(kRefusedMark));
    if (refused)
        text.remove(0, 1);
    const bool notStoring = text.startsWith(QChar(kNotStoringMark));
    if (notStoring)
        text.remove(0, 1);
    return {text.trimmed(), refused, true, notStoring};
}
