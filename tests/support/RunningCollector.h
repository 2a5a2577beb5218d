#pragma once

#include <functional>
#include <memory>
#include <vector>

#include <QTcpSocket>

#include "Collector.h"
#include "OperatorMessages.h"
#include "RecordingAutomation.h"
#include "TempRoot.h"
#include "WaitUntil.h"

// Operator messages kept for the test to read.
class RecordedOperatorMessages final : public OperatorMessages {
public:
    void showMessage(const QString& text) override { shown << text; }
    bool confirm(const QString& question) override {
        shown << question;
        return true;
    }
    QStringList shown;
};

// A collector started in the test's process on a portable root, with an automation server in
// memory (its calls in `calls`) and analyzers that connect over loopback.
class RunningCollector {
public:
    using AutomationFactory = std::function<std::unique_ptr<IPanoptraAutoObject>()>;

    // settings: further lines of the program's settings key; automation: the server to use
    // instead of the one in memory; clock: the collector's clock (the system's when not given);
    // timers: those of folder monitoring (the event loop's when not given).
    explicit RunningCollector(TempRoot& root, const QString& settings = {},
                              AutomationFactory automation = {}, const Clock* clock = nullptr,
                              TimerSource* timers = nullptr)
        : m_root(root) {
        port = freeTcpPort();
        // The data-host server listens one below ClientSocketPort: on a free port, unless the
        // test chooses.
        QString ports = QStringLiteral("Port=dword:%1\nAutoCreate=dword:1\n").arg(port);
        if (!settings.contains(QStringLiteral("ClientSocketPort=")))
            ports += QStringLiteral("ClientSocketPort=dword:%1\n").arg(freeTcpPort() + 1);
        root.writeHive(RegistryRoot::CurrentUser,
                       QString::fromLatin1(kTarvoSection) + ports + settings);
        CollectorEnvironment environment;
        environment.layout = root.layout();
        environment.executablePath = QStringLiteral("/opt/tarvo/tarvo-collect");
        environment.messages = &messages;
        environment.clock = clock;
        environment.timers = timers;
        environment.createAutomation = [this, automation](RegistryRoot) {
            return automation ? automation()
                              : std::unique_ptr<IPanoptraAutoObject>(
                                    std::make_unique<RecordingAutomation>(calls));
        };
        collector = std::make_unique<Collector>(environment);
        started = collector->start() == Collector::StartOutcome::Running &&
                  collector->analyzerServer().Active();
    }

    ~RunningCollector() {
        clients.clear();
        collector->close();
    }

    Collector* operator->() { return collector.get(); }

    QTcpSocket& connectFrom(const QString& address = QStringLiteral("127.0.0.1")) {
        const int before = collector->analyzerServer().ConnectionCount();
        auto socket = std::make_unique<QTcpSocket>();
        socket->bind(QHostAddress(address));
        socket->connectToHost(QHostAddress::LocalHost, quint16(port));
        socket->waitForConnected(5000);
        waitUntil([&] { return collector->analyzerServer().ConnectionCount() > before; });
        clients.push_back(std::move(socket));
        return *clients.back();
    }

    // Sends the bytes and runs the event loop until the collector has read them.
    bool send(QTcpSocket& socket, const QByteArray& bytes) {
        const qint64 target = collector->analyzerServer().BytesReceived() + bytes.size();
        socket.write(bytes);
        socket.flush();
        return waitUntil([&] { return collector->analyzerServer().BytesReceived() >= target; });
    }

    QString patientFolder(const QString& id) const {
        return collector->state().dataRoot + id + u'/';
    }

    bool logged(const QString& text) const {
        for (const QString& line : collector->log().mainLines()) {
            if (line.contains(text))
                return true;
        }
        return false;
    }

    int loggedCount(const QString& text) const {
        int count = 0;
        for (const QString& line : collector->log().mainLines())
            count += line.contains(text) ? 1 : 0;
        return count;
    }

    int port = 0;
    bool started = false;
    QStringList calls;
    RecordedOperatorMessages messages;
    std::unique_ptr<Collector> collector;
    std::vector<std::unique_ptr<QTcpSocket>> clients;

private:
    TempRoot& m_root;
};
