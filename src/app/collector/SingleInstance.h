#pragma once

#include <functional>
#include <memory>

#include <QLockFile>
#include <QObject>

class QLocalServer;

// One running collector per settings root. The first copy holds a lock file in the root and
// listens on a local socket named after the root; a later copy finds the lock taken and sends
// its request (one line, such as "show") to the first copy, which answers with one line.
class SingleInstance : public QObject {
    Q_OBJECT

public:
    // An answer to a request: its text, and whether the request was refused (not carried out).
    struct Answer {
        QString text;
        bool refused = false;
        bool received = true; // false when no running copy answered
        // The collector that answered cannot store anything now ("Not storing: ..." in the text).
        bool notStoring = false;
    };
    using CommandHandler = std::function<Answer(const QString& command)>;
    static constexpr auto kShowCommand = "show";

    explicit SingleInstance(const QString& rootFolder, QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when this process is now the collector of the root.
    bool acquire();

    // Answers requests of later copies; the default handler answers "show" with "ok".
    void setCommandHandler(CommandHandler handler) { m_handler = std::move(handler); }

    // Sends one request to the running copy and returns its answer (whose text may have
    // several lines); received is false when no copy answered within the time-out.
    static Answer ask(const QString& rootFolder, const QString& command, int timeoutMs = 3000);
    // The same through the socket at the path (a collector started with another TMPDIR).
    static Answer askAt(const QString& socketPath, const QString& command, int timeoutMs = 3000);

    static QString serverNameFor(const QString& rootFolder);

signals:
    void showRequested();

private:
    void serveConnection();

    QString m_rootFolder;
    QLockFile m_lock;
    std::unique_ptr<QLocalServer> m_server;
    CommandHandler m_handler;
};
