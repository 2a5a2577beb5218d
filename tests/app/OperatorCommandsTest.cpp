// The operator's commands against a collector in the test's process: what they answer, and
// which answers are refusals.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>

#include "CommandLine.h"
#include "OperatorCommands.h"
#include "RunningCollector.h"
#include "SimulatedMessages.h"
#include "StoredPoints.h"

namespace {

void write(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

class OperatorCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        collector = std::make_unique<RunningCollector>(root);
        ASSERT_TRUE(collector->started);
        commands = std::make_unique<OperatorCommands>(*collector->collector);
    }

    QString dataRoot() const { return collector->collector->state().dataRoot; }

    TempRoot root;
    std::unique_ptr<RunningCollector> collector;
    std::unique_ptr<OperatorCommands> commands;
};

} // namespace

TEST_F(OperatorCommandsTest, RefusalsAreMarkedAndSayWhyInOneLine) {
    const QStringList requests = {"bogus",         "tick",  "tick NOBODY",   "recreate NOBODY",
                                  "recreate ../x", "media", "media-drive c", "import NOBODY"};
    for (const QString& request : requests) {
        const OperatorAnswer answer = commands->Execute(request);
        EXPECT_TRUE(answer.refused) << request.toStdString();
        EXPECT_FALSE(answer.text.isEmpty()) << request.toStdString();
        EXPECT_FALSE(answer.text.contains(u'\n')) << request.toStdString();
    }
    EXPECT_EQ(commands->Execute("tick NOBODY").text,
              "Unknown patient NOBODY: not in the patient list");
    EXPECT_EQ(commands->Execute("recreate NOBODY").text,
              "Unknown patient NOBODY: no patient folder " +
                  QDir::toNativeSeparators(dataRoot() + "NOBODY/"));
    EXPECT_FALSE(QDir(dataRoot() + "NOBODY").exists()) << "an unknown patient gets no folder";
    EXPECT_TRUE(commands->Execute("media").text.startsWith("No external media drive is set"))
        << "not a listing of the working folder";
    EXPECT_TRUE(commands->Execute("import NOBODY").text.startsWith("No external media drive"));

    for (const QString& request : {QStringLiteral("status"), QStringLiteral("start"),
                                   QStringLiteral("stop"), QStringLiteral("archives")})
        EXPECT_FALSE(commands->Execute(request).refused) << request.toStdString();
}

TEST_F(OperatorCommandsTest, ARecreateWithoutArchivedDocumentsLeavesTheDataFileAlone) {
    write(dataRoot() + "P1/Tarvo.pil", "stored points");
    QDir().mkpath(dataRoot() + "P1/XML-files");
    const OperatorAnswer answer = commands->Execute("recreate P1");
    EXPECT_TRUE(answer.refused);
    EXPECT_EQ(answer.text, "Nothing recreated for P1: no archived documents in " +
                               QDir::toNativeSeparators(dataRoot() + "P1/XML-files"));
    QFile file(dataRoot() + "P1/Tarvo.pil");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "stored points");
}

TEST_F(OperatorCommandsTest, ImportAndRecreateTakeAnIdToTheSameFolder) {
    ASSERT_FALSE(commands->Execute("media-drive e").refused);
    ASSERT_FALSE(commands->Execute("start").refused);
    SimulatedMessages::PatientDocument document;
    document.patient = {"K-2", "Karin", "Berg"};
    document.uniqueId = "{ADM-K2}";
    document.measurements = 6;
    document.start = QDateTime(QDate(2026, 12, 8), QTime(10, 0));
    const QString media = collector->collector->externalMediaRoot();
    write(media + "K-2/{ADM-K2}.xml",
          SimulatedMessages::patientData(document).replace("utf-16", "utf-8").toUtf8());

    const OperatorAnswer imported = commands->Execute("import K-2");
    EXPECT_FALSE(imported.refused) << imported.text.toStdString();
    EXPECT_TRUE(commands->Execute("archives").text.contains("\n  K-2"));
    const OperatorAnswer recreated = commands->Execute("recreate K-2");
    EXPECT_FALSE(recreated.refused) << recreated.text.toStdString();
    EXPECT_EQ(recreated.text, "Recreated data for K-2: 1 documents read, 0 skipped");
    EXPECT_EQ(countOf(storedPoints(dataRoot() + "K-2/Tarvo.pil"), "Glucose"), 2);
}

TEST_F(OperatorCommandsTest, EveryCommandIsKnownAndInTheHelp) {
    const QString help = CommandLine::helpText(QStringLiteral("tarvo-collectd"), false);
    for (const OperatorCommands::Command& command : OperatorCommands::Commands()) {
        const QString verb = QLatin1String(command.verb);
        const QString argument = QLatin1String(command.argument);
        EXPECT_TRUE(help.contains(argument.isEmpty() ? verb : verb + u' ' + argument))
            << command.verb;
        EXPECT_TRUE(OperatorCommands::helpText().contains(verb)) << command.verb;
        const QString request = argument.isEmpty() ? verb : verb + QStringLiteral(" NOBODY");
        EXPECT_FALSE(commands->Execute(request).text.startsWith("unknown command")) << command.verb;
    }
    EXPECT_TRUE(help.contains("show")) << help.toStdString();
}

TEST(OperatorCommandsNotStoring, ADataRootThatCannotBeCreatedIsReportedUntilItCan) {
    TempRoot root;
    // The data root lies below a file: it can be neither created nor written.
    root.writeFile(QStringLiteral("TarvoCollect.Ini"),
                   "[Orvanta]\r\nTCAData=C:\\Blocked\\TCADATA\r\n");
    const QString blocker = root.writeFile(QStringLiteral("C/Blocked"), "a file, not a folder");
    RunningCollector collector(root, QStringLiteral("TimerInterval=dword:50\n"));
    ASSERT_TRUE(collector.started);
    OperatorCommands commands(*collector.collector);
    const QString dataRoot = collector->state().dataRoot;
    const QString notStoring = collector->state().notStoring;
    EXPECT_TRUE(notStoring.startsWith(QStringLiteral("Not storing: the data root ") + dataRoot))
        << notStoring.toStdString();
    EXPECT_TRUE(notStoring.contains(blocker + QStringLiteral(" is a file, not a folder")))
        << notStoring.toStdString();
    EXPECT_EQ(collector->log().mainLines().filter(notStoring).size(), 1);

    for (const QString& request : {QStringLiteral("status"), QStringLiteral("start")}) {
        const OperatorAnswer answer = commands.Execute(request);
        EXPECT_TRUE(answer.notStoring) << request.toStdString();
        EXPECT_FALSE(answer.refused) << request.toStdString();
        EXPECT_EQ(answer.text.count(notStoring), 1) << answer.text.toStdString();
    }
    EXPECT_TRUE(commands.Execute("status").text.contains("Collection: Collecting\n" + notStoring));

    // A result for a patient is lost with a line that names the folder and the reason.
    SimulatedMessages::LiveMeasurement measurement;
    measurement.patient = {QStringLiteral("P1"), QStringLiteral("Anna"), QStringLiteral("Berg")};
    measurement.time = QDateTime::currentDateTime();
    measurement.value = 4.2;
    QTcpSocket& analyzer = collector.connectFrom();
    ASSERT_TRUE(
        collector.send(analyzer, SimulatedMessages::utf16(SimulatedMessages::live(measurement))));
    ASSERT_TRUE(waitUntil([&] { return collector.logged("Could not create directory "); }))
        << collector->log().mainLines().join('\n').toStdString();
    const QStringList failures = collector->log().mainLines().filter("Could not create directory ");
    EXPECT_TRUE(failures[0].contains(dataRoot) && failures[0].contains("is a file, not a folder"))
        << failures[0].toStdString();

    // Once the way is clear the next housekeeping tick says so, and the commands answer as ever.
    ASSERT_TRUE(QFile::remove(blocker));
    ASSERT_TRUE(waitUntil([&] { return collector->state().notStoring.isEmpty(); }));
    EXPECT_EQ(
        collector->log().mainLines().filter("Storing again: the data root " + dataRoot).size(), 1);
    const OperatorAnswer answer = commands.Execute("status");
    EXPECT_FALSE(answer.notStoring);
    EXPECT_FALSE(answer.text.contains("Not storing"));
}

TEST_F(OperatorCommandsTest, StatusShowsTheDataHostServer) {
    DataHostServer& server = collector->collector->dataHostServer();
    EXPECT_TRUE(commands->Status().contains(
        QStringLiteral("Data-host server: listening on port %1, 0 stations").arg(server.Port())));
    QTcpSocket station;
    station.connectToHost(QHostAddress::LocalHost, quint16(server.Port()));
    ASSERT_TRUE(waitUntil([&] { return server.StationCount() == 1; }));
    EXPECT_TRUE(commands->Status().contains(", 1 station\n"));

    // A port another program holds: the reason is shown.
    QTcpServer holder;
    ASSERT_TRUE(holder.listen(QHostAddress::Any));
    server.Deactivate();
    server.SetPort(holder.serverPort());
    EXPECT_THROW(server.Activate(), std::runtime_error);
    EXPECT_TRUE(commands->Status().contains(
        QStringLiteral("Data-host server: not listening on port %1: ").arg(holder.serverPort())))
        << commands->Status().toStdString();
}
