// Two headless collectors on their own roots: A takes an analyzer (tarvo-sim) and serves its
// messages as a data host; B runs as A's data client and stores what A forwards.
#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include "TempRoot.h"
#include "WaitUntil.h"

namespace {

const QString kBin = QStringLiteral(TARVO_BIN_DIR "/");

class HeadlessCollector {
public:
    explicit HeadlessCollector(const QString& settings) : port(freeTcpPort()) {
        root.writeHive(RegistryRoot::CurrentUser,
                       QString::fromLatin1(kTarvoSection) +
                           QStringLiteral("Port=dword:%1\nAutoCreate=dword:1\nAutoStart=dword:1\n"
                                          "NoOrvanta=dword:1\n")
                               .arg(port) +
                           settings);
        process.start(kBin + "tarvo-collect", {"--headless", "--root", root.path()});
    }

    ~HeadlessCollector() {
        process.terminate();
        if (!process.waitForFinished(10000))
            process.kill();
    }

    QString logText() const {
        QFile file(root.driveC("TEMP/Tarvo Logfile.txt"));
        return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()) : QString();
    }

    QString dataFile(const QString& id) const {
        return root.driveC("TCA/DATA/" + id + "/Tarvo.pil");
    }

    TempRoot root;
    int port;
    QProcess process;
};

QString run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(kBin + program, arguments);
    EXPECT_TRUE(process.waitForFinished(60000)) << program.toStdString();
    EXPECT_EQ(process.exitCode(), 0) << program.toStdString();
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The content of a patient data file without its own name.
QJsonObject content(const QString& path) {
    QJsonObject dump = QJsonDocument::fromJson(run("tarvo-pil", {"dump", path}).toUtf8()).object();
    dump.remove("file");
    return dump;
}

} // namespace

TEST(DataHostEndToEnd, ADataClientStoresTheSameSeriesAsItsDataHost) {
    const int hostServerPort = freeTcpPort();
    HeadlessCollector a(QStringLiteral("ClientSocketPort=dword:%1\n").arg(hostServerPort + 1));
    HeadlessCollector b(QStringLiteral("InterNetworking=dword:1\nIPString=sz:127.0.0.1\n"
                                       "ClientSocketPort=dword:%1\n")
                            .arg(hostServerPort));
    ASSERT_TRUE(
        waitUntil([&] { return b.logText().contains("Connected to data host 127.0.0.1:"); }, 30000))
        << b.logText().toStdString() << a.logText().toStdString();

    const QStringList ids = {"NET2012", "NET2008"};
    run("tarvo-sim", {"--port", QString::number(a.port), "--pieces", "--seed", "7", "document",
                      ids[0], "--schema", "2012", "--measurements", "60", "--places", "2"});
    run("tarvo-sim", {"--port", QString::number(a.port), "document", ids[1], "--schema", "2008",
                      "--measurements", "30"});
    run("tarvo-sim", {"--port", QString::number(a.port), "live", ids[0], "Glucose", "4.25",
                      "--time", "2026-12-08T10:00:00"});

    for (const QString& id : ids) {
        // Both files are complete once they have the same size and content.
        QJsonObject fromA;
        QJsonObject fromB;
        const bool same = waitUntil(
            [&] {
                const QFileInfo fileA(a.dataFile(id));
                const QFileInfo fileB(b.dataFile(id));
                if (!fileA.exists() || fileA.size() != QFileInfo(b.dataFile(id)).size() ||
                    !fileB.exists())
                    return false;
                fromA = content(a.dataFile(id));
                fromB = content(b.dataFile(id));
                return fromA == fromB;
            },
            60000);
        ASSERT_TRUE(same) << id.toStdString()
                          << "\nA: " << QJsonDocument(fromA).toJson().toStdString()
                          << "\nB: " << QJsonDocument(fromB).toJson().toStdString()
                          << "\nB's log: " << b.logText().toStdString();
        EXPECT_FALSE(fromA.value("series").toArray().isEmpty()) << id.toStdString();
    }
}
