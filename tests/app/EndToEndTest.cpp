// The whole road of results as an engineer sees it: tarvo-collect running headless with the
// reference automation server, tarvo-sim as the analyzer, --command for the operator and
// tarvo-pil to read the patient files.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>

#include "PrivateBus.h"
#include "SimulatedMessages.h"
#include "TempRoot.h"
#include "WaitUntil.h"

namespace {

const QString kBin = QStringLiteral(TARVO_BIN_DIR "/");

class EndToEndTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(bus.isRunning()) << bus.error().toStdString();
        stub = std::make_unique<AutomationStubProcess>(bus.address(), root.path() + "/calls.jsonl");
        ASSERT_TRUE(stub->isReady()) << stub->error().toStdString();
        port = freeTcpPort();
        root.writeHive(RegistryRoot::CurrentUser,
                       QString::fromLatin1(kTarvoSection) +
                           QStringLiteral("Port=dword:%1\nAutoCreate=dword:1\nAutoStart=dword:1\n"
                                          "ExternalMediaDrive=F\n")
                               .arg(port));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DBUS_SESSION_BUS_ADDRESS", bus.address());
        collector.setProcessEnvironment(environment);
        collector.start(kBin + "tarvo-collect", {"--headless", "--root", root.path()});
        ASSERT_TRUE(collector.waitForStarted(5000));
        ASSERT_TRUE(waitUntil([&] { return logText().contains("ServerSocketTarvo is active"); }))
            << logText().toStdString();
    }

    void TearDown() override {
        collector.terminate();
        if (!collector.waitForFinished(10000))
            collector.kill();
    }

    QString logText() const {
        QFile file(root.driveC("TEMP/Tarvo Logfile.txt"));
        return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()) : QString();
    }

    // Runs a companion program to its end; returns its standard output.
    QString run(const QString& program, const QStringList& arguments, int* exitCode = nullptr) {
        QProcess process;
        process.start(kBin + program, arguments);
        EXPECT_TRUE(process.waitForFinished(60000)) << program.toStdString();
        if (exitCode)
            *exitCode = process.exitCode();
        return QString::fromUtf8(process.readAllStandardOutput()) +
               QString::fromUtf8(process.readAllStandardError());
    }

    QString sim(QStringList arguments) {
        arguments.prepend(QString::number(port));
        arguments.prepend("--port");
        int code = -1;
        const QString output = run("tarvo-sim", arguments, &code);
        EXPECT_EQ(code, 0) << output.toStdString();
        return output;
    }

    QString command(const QString& text, int* exitCode = nullptr) {
        QStringList arguments{"--root", root.path(), "--command"};
        arguments += text.split(' ');
        return run("tarvo-collect", arguments, exitCode).trimmed();
    }

    QJsonObject dump(const QString& id) {
        const QString output =
            run("tarvo-pil", {"dump", root.driveC("TCA/DATA/" + id + "/Tarvo.pil")});
        return QJsonDocument::fromJson(output.toUtf8()).object();
    }

    static int points(const QJsonObject& file, const QString& parameter) {
        int count = 0;
        for (const QJsonValue& serie : file.value("series").toArray()) {
            if (serie.toObject().value("parameterName").toString() == parameter)
                count += serie.toObject().value("pointCount").toInt();
        }
        return count;
    }

    QStringList automationCalls() const {
        QStringList operations;
        for (const QByteArray& line : stub->loggedCalls())
            operations << QJsonDocument::fromJson(line).object().value("operation").toString();
        return operations;
    }

    TempRoot root;
    PrivateBus bus;
    std::unique_ptr<AutomationStubProcess> stub;
    QProcess collector;
    int port = 0;
};

} // namespace

TEST_F(EndToEndTest, ResultsFromTheSimulatorReachFilesAutomationAndStatus) {
    for (const char* year : {"2004", "2008", "2012"}) {
        sim({"--pieces", "--seed", year, "document", QStringLiteral("E%1").arg(year), "--schema",
             year, "--measurements", "60", "--places", "2"});
    }
    sim({"live", "L1", "Glucose", "4.25", "--time", "2026-12-08T10:00:00"});
    sim({"control", "low", "Lactate", "1.5", "--time", "2026-12-08T10:01:00"});
    sim({"control", "high", "Lactate", "6", "--time", "2026-12-08T10:02:00"});
    sim({"admission", "E2012", "--events", "3"});

    ASSERT_TRUE(waitUntil([&] { return command("status").contains("Rebuilds waiting: 0"); }));
    for (const char* year : {"2004", "2008", "2012"}) {
        const QJsonObject file = dump(QStringLiteral("E%1").arg(year));
        // 60 measurements of three analytes at two catheters: 10 per series, and the ratios.
        EXPECT_EQ(points(file, "Glucose"), 20) << year;
        EXPECT_EQ(points(file, "Lactate"), 20) << year;
        EXPECT_EQ(points(file, "Pyruvate"), 20) << year;
        EXPECT_EQ(points(file, "LGRatio"), 20) << year;
        EXPECT_EQ(points(file, "LPRatio"), 20) << year;
        EXPECT_TRUE(QFile::exists(
            root.driveC(QStringLiteral("TCA/DATA/E%1/XML-files/{ADM-E%1}.xml").arg(year))));
    }
    EXPECT_EQ(points(dump("L1"), "Glucose"), 0) << "live patient results are announced only";
    const QJsonObject controls = dump("AutoControl");
    EXPECT_EQ(points(controls, "Lactate"), 2);
    EXPECT_TRUE(QFile::exists(root.driveC("TCA/DATA/E2012/TarvoEvents.pil")));

    const QStringList calls = automationCalls();
    EXPECT_TRUE(calls.contains("AddResult")) << calls.join(',').toStdString();
    EXPECT_TRUE(calls.contains("NotifyUpdate"));
    EXPECT_TRUE(calls.contains("ReportCollectState"));

    const QString status = command("status");
    EXPECT_TRUE(status.contains("Collection: ")) << status.toStdString();
    EXPECT_TRUE(status.contains("[x] E2008, Sim Patient E2008")) << status.toStdString();
    EXPECT_TRUE(status.contains("[x] AutoControl")) << status.toStdString();
}

TEST_F(EndToEndTest, OperatorCommandsWithoutAWindow) {
    sim({"document", "K1", "--measurements", "30"});
    ASSERT_TRUE(waitUntil([&] { return command("status").contains("Rebuilds waiting: 0"); }));
    EXPECT_EQ(command("stop"), "Collection: Ready");
    EXPECT_EQ(command("start"), "Collection: Collecting");
    EXPECT_EQ(command("untick K1"), "K1 unticked");
    EXPECT_TRUE(command("status").contains("[ ] K1, "));
    EXPECT_EQ(command("tick K1"), "K1 ticked");
    int code = -1;
    EXPECT_EQ(command("tick NOBODY", &code), "Unknown patient NOBODY: not in the patient list");
    EXPECT_EQ(code, 4) << "a refusal";

    QFile::remove(root.driveC("TCA/DATA/K1/Tarvo.pil"));
    EXPECT_EQ(command("recreate K1", &code), "Recreated data for K1: 1 documents read, 0 skipped");
    EXPECT_EQ(code, 0);
    EXPECT_EQ(points(dump("K1"), "Glucose"), 10);
    EXPECT_EQ(command("recreate UNKNOWN", &code),
              "Unknown patient UNKNOWN: no patient folder " +
                  QDir::toNativeSeparators(root.driveC("TCA/DATA/UNKNOWN/")));
    EXPECT_EQ(code, 4);

    // An SD card with a patient folder for a new patient, its import and its rebuild.
    const QString card = root.path() + "/F/Data/K-2/";
    QDir().mkpath(card);
    // The card's document is K-2's own: a document of K1, whose folder is here, would be skipped.
    SimulatedMessages::PatientDocument document;
    document.patient = {"K-2", "Karl", "Two"};
    document.uniqueId = "{ADM-K2}";
    document.start = QDateTime(QDate(2026, 12, 1), QTime(8, 0));
    QFile onCard(card + "{ADM-K2}.xml");
    ASSERT_TRUE(onCard.open(QIODevice::WriteOnly));
    onCard.write(SimulatedMessages::patientData(document).replace("utf-16", "utf-8").toUtf8());
    onCard.close();
    EXPECT_TRUE(command("media").contains("\n  K-2"));
    EXPECT_TRUE(command("import K-2").startsWith("Copied 1 XML files for K-2 into "));
    EXPECT_TRUE(command("archives").contains("\n  K-2"));
    EXPECT_EQ(command("recreate K-2", &code), "Recreated data for K-2: 1 documents read, 0 skipped")
        << "the rebuild reads the archive the import filled";
    EXPECT_EQ(code, 0);
    EXPECT_EQ(command("media-drive c", &code), "Not changed: Set External Media Drive (F:\\)");
    EXPECT_EQ(code, 4);
    EXPECT_TRUE(command("bogus", &code).startsWith("unknown command: bogus"));
    EXPECT_EQ(code, 4);

    const QString none =
        run("tarvo-collect", {"--root", root.path() + "/other", "--command", "status"}, &code);
    EXPECT_EQ(code, 1);
    EXPECT_TRUE(none.contains("No running TarvoCollect answered")) << none.toStdString();
}
