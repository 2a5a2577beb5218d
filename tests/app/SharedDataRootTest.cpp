// Two tarvo-collect programs on one data root, as on a ward's network share: A receives an
// analyzer's documents and archives them; B, monitoring the root, rebuilds the same patients
// from that archive.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include "TempRoot.h"
#include "WaitUntil.h"

namespace {

const QString kBin = QStringLiteral(TARVO_BIN_DIR "/");

class SharedDataRootTest : public ::testing::Test {
protected:
    void TearDown() override {
        for (QProcess* process : {&a, &b}) {
            process->terminate();
            if (!process->waitForFinished(10000))
                process->kill();
        }
    }

    // A portable collector whose data root is the shared folder's "TCA/DATA/".
    void start(QProcess& process, TempRoot& root, int port, const QString& settings) {
        root.writeFile("TarvoCollect.Ini",
                       ("[Orvanta]\r\nTCAData=" + shared.path() + "/TCA/TCADATA.INI\r\n").toUtf8());
        root.writeHive(RegistryRoot::CurrentUser, QString::fromLatin1(kTarvoSection) +
                                                      QStringLiteral("Port=dword:%1\n").arg(port) +
                                                      settings);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
        process.setProcessEnvironment(environment);
        process.start(kBin + "tarvo-collect", {"NOORVANTA", "--headless", "--root", root.path()});
        ASSERT_TRUE(process.waitForStarted(5000));
        ASSERT_TRUE(waitUntil([&] { return logOf(root).contains("ServerSocketTarvo is active"); }))
            << logOf(root).toStdString();
        ASSERT_TRUE(logOf(root).contains("TCAData final value = " + dataRoot()))
            << logOf(root).toStdString();
    }

    void startBoth(const QString& watching) {
        ASSERT_TRUE(QDir().mkpath(dataRoot()));
        portA = freeTcpPort();
        start(a, rootA, portA, "AutoCreate=dword:1\nAutoStart=dword:1\n");
        start(b, rootB, freeTcpPort(), "MonitorNetworkLocation=dword:1\n" + watching);
    }

    QString dataRoot() const { return shared.path() + "/TCA/DATA/"; }

    static QString logOf(const TempRoot& root) {
        QFile file(root.driveC("TEMP/Tarvo Logfile.txt"));
        return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()) : QString();
    }

    QString run(const QString& program, const QStringList& arguments) {
        QProcess process;
        process.start(kBin + program, arguments);
        EXPECT_TRUE(process.waitForFinished(60000)) << program.toStdString();
        EXPECT_EQ(process.exitCode(), 0) << program.toStdString();
        return QString::fromUtf8(process.readAllStandardOutput());
    }

    QJsonArray series(const QString& id) {
        const QString output = run("tarvo-pil", {"dump", dataRoot() + id + "/Tarvo.pil"});
        return QJsonDocument::fromJson(output.toUtf8()).object().value("series").toArray();
    }

    // A's documents reach its archive and its view; B rebuilds the same view from the archive.
    void expectBRebuildsWhatAReceived() {
        run("tarvo-sim", {"--port", QString::number(portA), "document", "S1", "--schema", "2008",
                          "--measurements", "60"});
        ASSERT_TRUE(waitUntil([&] { return logOf(rootA).contains("Recreated data for S1"); }))
            << logOf(rootA).toStdString();
        const QJsonArray seenByA = series("S1");
        ASSERT_EQ(seenByA.size(), 5) << "three analytes and two ratios";
        ASSERT_TRUE(QFile::remove(dataRoot() + "S1/Tarvo.pil")) << "B's view is B's own work";

        ASSERT_TRUE(
            waitUntil([&] { return logOf(rootB).contains("Recreated data for S1"); }, 30000))
            << logOf(rootB).toStdString();
        const QJsonArray seenByB = series("S1");
        ASSERT_EQ(seenByB.size(), seenByA.size());
        for (qsizetype i = 0; i < seenByA.size(); ++i)
            EXPECT_EQ(seenByB.at(i), seenByA.at(i)) << "series " << i;
        EXPECT_EQ(logOf(rootB).count("Recreated data for S1"), 1) << "one rebuild per burst";
    }

    QTemporaryDir shared;
    TempRoot rootA, rootB;
    QProcess a, b;
    int portA = 0;
};

} // namespace

TEST_F(SharedDataRootTest, TheMonitoringCollectorRebuildsWhatTheOtherOneReceived) {
    startBoth("MonitorPollSeconds=dword:0\n");
    expectBRebuildsWhatAReceived();
}

TEST_F(SharedDataRootTest, PollingAloneSeesTheOtherCollectorsWrites) {
    startBoth("MonitorNotifications=dword:0\nMonitorPollSeconds=dword:1\n");
    expectBRebuildsWhatAReceived();
}
