// What hospital IT sees of a running collector: the monitoring endpoint read over HTTP (the
// metrics checked by promtool), the health turning with the data root, and the service manager's
// notifications on a socket of the test's own.
#include <gtest/gtest.h>

#include <cstring>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include "OperatorCommands.h"
#include "RunningCollector.h"
#include "ServiceMonitor.h"
#include "TempRoot.h"
#include "WaitUntil.h"

namespace {

const QString kBin = QStringLiteral(TARVO_BIN_DIR "/");

struct Answer {
    int status = 0;
    QByteArray body;
};

Answer get(quint16 port, const QString& path) {
    QNetworkAccessManager network;
    QNetworkReply* reply = network.get(
        QNetworkRequest(QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(path))));
    waitUntil([&] { return reply->isFinished(); });
    Answer answer{reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
                  reply->readAll()};
    reply->deleteLater();
    return answer;
}

double sample(const QByteArray& metrics, const QByteArray& name) {
    for (const QByteArray& line : metrics.split('\n')) {
        if (line.startsWith(name + ' '))
            return line.mid(name.size() + 1).toDouble();
    }
    return -1;
}

} // namespace

TEST(ServiceMonitorTest, MetricsHealthAndStatusOverHttp) {
    TempRoot root;
    const int port = freeTcpPort();
    RunningCollector running(
        root, QStringLiteral("AutoStart=dword:1\nCommunicationProtocol=HL7\nNoOrvanta=dword:1\n"
                             "MonitorHttpPort=dword:%1\n")
                  .arg(port));
    ASSERT_TRUE(running.started);
    OperatorCommands commands(*running.collector);
    ServiceMonitor monitor(*running.collector, [&commands] { return commands.StatusJson(); });
    monitor.start();
    ASSERT_TRUE(monitor.server().listening());
    EXPECT_TRUE(running.logged(
        QStringLiteral("Monitoring endpoint listens on http://127.0.0.1:%1/").arg(port)));

    QProcess analyzer;
    analyzer.start(kBin + "tarvo-sim", {"--port", QString::number(running.port), "records", "M",
                                        "Glucose", "4", "--results", "5"});
    ASSERT_TRUE(analyzer.waitForStarted(5000));
    ASSERT_TRUE(waitUntil([&] { return analyzer.state() == QProcess::NotRunning; }, 30000));
    ASSERT_TRUE(waitUntil([&] {
        return running.collector->resultProcessor().StoredResults().count("live") &&
               running.collector->resultProcessor().StoredResults().at("live") == 5;
    }));

    const Answer metrics = get(quint16(port), "/metrics");
    ASSERT_EQ(metrics.status, 200);
    EXPECT_EQ(sample(metrics.body, "tarvo_results_received_total{kind=\"live\"}"), 5);
    EXPECT_EQ(sample(metrics.body, "tarvo_results_stored_total{kind=\"live\"}"), 5);
    EXPECT_GT(sample(metrics.body, "tarvo_last_result_stored_timestamp_seconds"), 1.7e9);
    EXPECT_GE(sample(metrics.body, "tarvo_connections_total"), 1);
    EXPECT_GT(sample(metrics.body, "tarvo_data_root_free_bytes"), 0);
    EXPECT_EQ(sample(metrics.body, "tarvo_patients_collected"), 1);
    EXPECT_EQ(sample(metrics.body, "tarvo_relay_queue_length"), 0);
    EXPECT_EQ(sample(metrics.body, "tarvo_up"), 1);
    const QString promtool = QStandardPaths::findExecutable(QStringLiteral("promtool"));
    if (!promtool.isEmpty()) {
        QProcess check;
        check.start(promtool, {"check", "metrics"});
        ASSERT_TRUE(check.waitForStarted(5000));
        check.write(metrics.body);
        check.closeWriteChannel();
        ASSERT_TRUE(check.waitForFinished(30000));
        EXPECT_EQ(check.exitCode(), 0) << check.readAllStandardOutput().toStdString()
                                       << check.readAllStandardError().toStdString();
    }

    const QJsonObject status = QJsonDocument::fromJson(get(quint16(port), "/status").body).object();
    EXPECT_EQ(status.value("collection").toString(), "Collecting");
    EXPECT_EQ(status.value("resultsProcessed").toInt(), 5);

    // The data root cannot be written: 503 naming the check, and healthy again once it can.
    EXPECT_EQ(get(quint16(port), "/health").status, 200);
    QString dataRoot = running.collector->state().dataRoot;
    dataRoot.chop(1);
    ASSERT_TRUE(QDir().rename(dataRoot, dataRoot + ".away"));
    QFile blocker(dataRoot);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const Answer failing = get(quint16(port), "/health");
    EXPECT_EQ(failing.status, 503);
    const QJsonObject report = QJsonDocument::fromJson(failing.body).object();
    EXPECT_EQ(report.value("failing").toArray().first().toString(), "data_root")
        << failing.body.toStdString();
    EXPECT_EQ(sample(get(quint16(port), "/metrics").body, "tarvo_up"), 0);
    ASSERT_TRUE(QFile::remove(dataRoot));
    ASSERT_TRUE(QDir().rename(dataRoot + ".away", dataRoot));
    EXPECT_EQ(get(quint16(port), "/health").status, 200);
    monitor.stop();
}

TEST(ServiceMonitorTest, TheServiceManagerHearsReadyAndTheWatchdogOnlyWhileTheLoopRuns) {
    QTemporaryDir folder;
    const QByteArray path = (folder.path() + "/notify").toLocal8Bit();
    const int receiver = socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK, 0);
    ASSERT_GE(receiver, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    ASSERT_EQ(bind(receiver, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const auto received = [receiver] {
        QList<QByteArray> datagrams;
        char buffer[4096];
        ssize_t n = 0;
        while ((n = recv(receiver, buffer, sizeof buffer, 0)) > 0)
            datagrams << QByteArray(buffer, int(n));
        return datagrams;
    };
    qputenv("NOTIFY_SOCKET", path);

    TempRoot root;
    RunningCollector running(root, QStringLiteral("NoOrvanta=dword:1\n"));
    ASSERT_TRUE(running.started);
    OperatorCommands commands(*running.collector);
    {
        ServiceMonitor monitor(*running.collector, [&commands] { return commands.StatusJson(); });
        monitor.start();
        QList<QByteArray> said = received();
        ASSERT_FALSE(said.isEmpty());
        EXPECT_TRUE(said.first().startsWith("READY=1\nSTATUS=Offline"))
            << said.first().toStdString();
        QList<QByteArray> fed;
        ASSERT_TRUE(waitUntil(
            [&] {
                fed << received();
                return fed.contains("WATCHDOG=1");
            },
            5000));
        // A loop held up feeds nothing.
        QThread::msleep(2500);
        EXPECT_FALSE(received().contains("WATCHDOG=1"));
        fed.clear();
        ASSERT_TRUE(waitUntil(
            [&] {
                fed << received();
                return fed.contains("WATCHDOG=1");
            },
            5000))
            << "fed again once the loop runs";
        monitor.stop();
        EXPECT_TRUE(received().contains("STOPPING=1"));
    }
    qunsetenv("NOTIFY_SOCKET");
    close(receiver);
}
