// Results reported to an independent integration engine (node-hl7-server): what it reads of each
// kind of result, and every result once and in order through engine faults and a restart.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>

#include <QDir>
#include <QProcess>
#include <QTimeZone>

#include "Clock.h"
#include "EventLog.h"
#include "NodeEngine.h"
#include "ObservationReporter.h"
#include "RunningCollector.h"
#include "SettingsStore.h"
#include "TempRoot.h"
#include "WaitUntil.h"

namespace {

const QString kBin = QStringLiteral(TARVO_BIN_DIR "/");

#define REQUIRE_ENGINE(engine)                                                                     \
    if (const QString missing = NodeEngine::missingNode(); !missing.isEmpty())                     \
        GTEST_SKIP() << missing.toStdString();                                                     \
    NodeEngine engine

QString reportSettings(int port, const QString& more = {}) {
    return QStringLiteral("ReportHost=127.0.0.1\nReportPort=dword:%1\n"
                          "ReportSendingApplication=TarvoCollect\nReportSendingFacility=ICU-3\n"
                          "ReportReceivingApplication=ENGINE\nReportReceivingFacility=HOSPITAL\n")
               .arg(port) +
           more;
}

StoredResult result(const QString& parameter, double value, StoredResult::Kind kind) {
    StoredResult stored;
    stored.patientId =
        kind == StoredResult::Kind::Patient ? QStringLiteral("P1") : QStringLiteral("AutoControl");
    stored.lastName = QStringLiteral("Berg");
    stored.firstName = QStringLiteral("Asa");
    stored.parameter = parameter;
    stored.place =
        kind == StoredResult::Kind::Patient ? QStringLiteral("CNS") : QStringLiteral("Low");
    stored.unit = QStringLiteral("mmol/l");
    stored.value = value;
    stored.kind = kind;
    stored.time = QDateTime(QDate(2026, 12, 8), QTime(10, 15, 30), QTimeZone(3600));
    stored.analyzer = QStringLiteral("TF-00417");
    return stored;
}

// A reporter of its own on a data folder, as one run of a collector has it.
struct Reporter {
    Reporter(const TempRoot& root, const QString& folder)
        : settings(root.hives(), RegistryRoot::CurrentUser), reporter(settings, log, folder) {
        reporter.ReadSettings();
    }
    const SettingsStore settings;
    ManualClock clock{QDateTime(QDate(2026, 12, 8), QTime(12, 0))};
    EventLog log{clock};
    ObservationReporter reporter;
};

std::vector<NodeEngine::Received> accepted(const NodeEngine& engine) {
    std::vector<NodeEngine::Received> messages;
    for (const NodeEngine::Received& message : engine.received())
        if (message.answer == QLatin1String("AA"))
            messages.push_back(message);
    return messages;
}

} // namespace

TEST(ReportEngineTest, TheEngineReadsEachKindOfResultFieldByField) {
    REQUIRE_ENGINE(engine);
    ASSERT_TRUE(engine.error.isEmpty()) << engine.error.toStdString();
    TempRoot root;
    root.writeHive(RegistryRoot::CurrentUser,
                   QString::fromLatin1(kTarvoSection) + reportSettings(engine.port));
    const SettingsStore settings(root.hives(), RegistryRoot::CurrentUser);
    ManualClock clock{QDateTime(QDate(2026, 12, 8), QTime(12, 0))};
    EventLog log{clock};
    QTemporaryDir folder;
    ObservationReporter reporter(settings, log, folder.path() + u'/');
    reporter.ReadSettings();

    // Controls wait for their setting; a result stored again (a rebuild) is not sent again.
    reporter.Report(result(QStringLiteral("Lactate"), 1.5, StoredResult::Kind::Control));
    EXPECT_EQ(reporter.Status().queued + reporter.Status().acknowledged, 0);
    reporter.Report(result(QStringLiteral("Glucose"), 4.25, StoredResult::Kind::Patient));
    reporter.Report(result(QStringLiteral("Glucose"), 4.25, StoredResult::Kind::Patient));
    reporter.Report(result(QStringLiteral("LPRatio"), 25.5, StoredResult::Kind::Patient));
    root.writeHive(RegistryRoot::CurrentUser,
                   QString::fromLatin1(kTarvoSection) +
                       reportSettings(engine.port, QStringLiteral("ReportControls=dword:1\n")));
    reporter.ReadSettings();
    reporter.Report(result(QStringLiteral("Lactate"), 1.5, StoredResult::Kind::Control));
    ASSERT_TRUE(waitUntil([&] { return reporter.Status().acknowledged == 3; }, 20000))
        << reporter.StatusLine().toStdString();
    EXPECT_EQ(reporter.Status().queued, 0);
    EXPECT_TRUE(reporter.Status().lastAcknowledged.isValid());

    const std::vector<NodeEngine::Received> messages = engine.received();
    ASSERT_EQ(messages.size(), 3u);
    const std::map<QString, QString> common = {
        {"MSH.3", "TarvoCollect"},
        {"MSH.4", "ICU-3"},
        {"MSH.5", "ENGINE"},
        {"MSH.6", "HOSPITAL"},
        {"MSH.9.1", "ORU"},
        {"MSH.9.2", "R01"},
        {"MSH.9.3", "ORU_R01"},
        {"MSH.11", "P"},
        {"MSH.12", "2.6"},
        {"MSH.21.1", "IHE_PCD_001"},
        {"PID.5.1", "Berg"},
        {"PID.5.2", "Asa"},
        {"PID.3.5", "PI"},
        {"OBR.7", "20261208101530+0100"},
        {"OBX.2", "NM"},
        {"OBX.11", "F"},
        {"OBX.14", "20261208101530+0100"},
        {"OBX.18.1", "TF-00417"},
        {"OBX.18.2", "Tarvo"},
        {"OBX.3.3", "99TVO"},
    };
    const std::vector<std::map<QString, QString>> own = {
        {{"PID.3.1", "P1"},
         {"OBX.3.1", "GLU-CNS-CONC"},
         {"OBX.3.2", "Glucose CNS concentration"},
         {"OBX.5", "4.25"},
         {"OBX.6.1", "mmol/L"},
         {"OBX.6.3", "UCUM"},
         {"OBX.20", "CNS"}},
        {{"PID.3.1", "P1"}, {"OBX.3.1", "LPR-CNS-RATIO"}, {"OBX.5", "25.5"}, {"OBX.6.1", "1"}},
        {{"PID.3.1", "AutoControl"},
         {"OBX.3.1", "LAC-LOW-QC"},
         {"OBX.5", "1.5"},
         {"OBX.6.1", "mmol/L"},
         {"OBX.20", "Low"}},
    };
    std::set<QString> controlIds;
    for (size_t i = 0; i < messages.size(); ++i) {
        EXPECT_EQ(messages[i].answer, "AA");
        EXPECT_EQ(messages[i].fields.value("MSH.10").toString(), messages[i].controlId);
        controlIds.insert(messages[i].controlId);
        for (const auto& fields : {common, own[i]})
            for (const auto& [path, expected] : fields)
                EXPECT_EQ(messages[i].fields.value(path).toString(), expected)
                    << "message " << i << " " << path.toStdString();
    }
    EXPECT_EQ(controlIds.size(), 3u) << "control IDs are unique";
}

TEST(ReportEngineTest, EveryResultReachesTheEngineOnceInOrderThroughFaultsAndARestart) {
    // The 4th and 9th messages are refused, the engine keeps silent on the 14th and 31st and
    // closes the connection on the 20th and 40th.
    REQUIRE_ENGINE(engine)(QStringLiteral("4:AE,9:AR,14:silence,20:close,31:silence,40:close"));
    ASSERT_TRUE(engine.error.isEmpty()) << engine.error.toStdString();
    constexpr int kHalf = 30;
    constexpr int kPatients = 3;
    TempRoot root;
    const QString settings = QStringLiteral("AutoStart=dword:1\nCommunicationProtocol=HL7\n") +
                             reportSettings(engine.port);
    const QDateTime start(QDate(2026, 12, 8), QTime(0, 0));
    const auto send = [&](RunningCollector& running, const QDateTime& from) {
        QProcess analyzer;
        analyzer.start(kBin + "tarvo-sim",
                       {"--port", QString::number(running.port), "records", "K", "Lactate", "0",
                        "--results", QString::number(kHalf), "--patients",
                        QString::number(kPatients), "--time", from.toString(Qt::ISODate)});
        ASSERT_TRUE(analyzer.waitForStarted(5000));
        ASSERT_TRUE(waitUntil([&] { return analyzer.state() == QProcess::NotRunning; }, 60000));
        ASSERT_EQ(analyzer.exitCode(), 0) << analyzer.readAllStandardError().toStdString();
    };
    QString journal;
    {
        RunningCollector running(root, settings);
        ASSERT_TRUE(running.started);
        ASSERT_NE(running->reporter(), nullptr);
        running->reporter()->SetTimeouts(400, 50);
        send(running, start);
        // Stopped while the engine keeps silent on a message: it and those after it wait in
        // the journal.
        ASSERT_TRUE(waitUntil([&] { return engine.received().size() >= 14; }, 30000));
        EXPECT_GT(running->reporter()->Status().queued, 0);
        journal = running->reporter()->Queue()->JournalPath();
    }
    ASSERT_TRUE(QFile::exists(journal));
    RunningCollector running(root, settings);
    ASSERT_TRUE(running.started);
    running->reporter()->SetTimeouts(400, 50);
    send(running, start.addSecs(kHalf));
    ASSERT_TRUE(waitUntil(
        [&] {
            const ReportStatus status = running->reporter()->Status();
            return status.queued == 0 && accepted(engine).size() >= 2 * kHalf - 2;
        },
        60000))
        << running->reporter()->StatusLine().toStdString() << ", " << accepted(engine).size()
        << " accepted";

    // Each result's message as the engine first received it, in order: every result once.
    std::vector<NodeEngine::Received> first;
    std::map<QString, std::vector<QString>> answers; // control ID -> answers given
    for (const NodeEngine::Received& message : engine.received()) {
        if (answers[message.controlId].empty())
            first.push_back(message);
        answers[message.controlId].push_back(message.answer);
    }
    ASSERT_EQ(first.size(), size_t(2 * kHalf));
    for (int i = 0; i < 2 * kHalf; ++i) {
        const QJsonObject& fields = first[size_t(i)].fields;
        EXPECT_EQ(fields.value("PID.3.1").toString(),
                  QStringLiteral("K%1").arg(i % kHalf % kPatients))
            << "result " << i;
        EXPECT_EQ(fields.value("OBX.14").toString(), Hl7Time(start.addSecs(i))) << "result " << i;
        EXPECT_DOUBLE_EQ(fields.value("OBX.5").toString().toDouble(), (i % kHalf) / 1000.0)
            << "result " << i;
        // The analyzer that sent it, by the identity its header record gives.
        EXPECT_EQ(fields.value("OBX.18.1").toString(), "SIM001") << "result " << i;
    }
    // Accepted once and never sent again; refused once and set aside; a message that met
    // silence or a closed connection went again until it was accepted.
    int refused = 0;
    const QString refusedFile = root.readFile(running->reporter()->Queue()->RefusedPath());
    for (const auto& [controlId, given] : answers) {
        if (given.front() == "AE" || given.front() == "AR") {
            ++refused;
            EXPECT_EQ(given.size(), 1u) << controlId.toStdString();
            EXPECT_TRUE(refusedFile.contains(controlId)) << controlId.toStdString();
            continue;
        }
        EXPECT_EQ(given.back(), "AA") << controlId.toStdString();
        EXPECT_EQ(std::count(given.begin(), given.end(), QStringLiteral("AA")), 1)
            << controlId.toStdString();
    }
    EXPECT_EQ(refused, 2);
    EXPECT_EQ(accepted(engine).size(), size_t(2 * kHalf - 2));
}

TEST(ReportEngineTest, ALateResultAndEventsReachTheEngineARepeatDoesNotEvenAfterARestart) {
    REQUIRE_ENGINE(engine);
    ASSERT_TRUE(engine.error.isEmpty()) << engine.error.toStdString();
    TempRoot root;
    root.writeHive(RegistryRoot::CurrentUser,
                   QString::fromLatin1(kTarvoSection) + reportSettings(engine.port));
    QTemporaryDir folder;
    const QString data = folder.path() + u'/';
    const StoredResult latest =
        result(QStringLiteral("Glucose"), 4.25, StoredResult::Kind::Patient);
    const auto at = [&](int minutes, double value) {
        StoredResult earlier = latest;
        earlier.time = latest.time.addSecs(60 * minutes);
        earlier.value = value;
        return earlier;
    };
    StoredEvent event{QStringLiteral("P1"),     QStringLiteral("Berg"),
                      QStringLiteral("Asa"),    QStringLiteral("Catheter moved | flushed"),
                      latest.time.addSecs(-90), QStringLiteral("10.1.2.3")};
    struct Step {
        const char* what;
        std::function<void(ObservationReporter&)> report;
        bool sent;
    };
    const std::vector<Step> steps = {
        {"the latest result", [&](auto& r) { r.Report(latest); }, true},
        {"a result dated before it (a second analyzer, a late one)",
         [&](auto& r) { r.Report(at(-20, 3.5)); }, true},
        {"the latest result stored again", [&](auto& r) { r.Report(latest); }, false},
        {"the late result stored again", [&](auto& r) { r.Report(at(-20, 3.5)); }, false},
        {"another value at the time of the late one", [&](auto& r) { r.Report(at(-20, 3.75)); },
         true},
        {"an event", [&](auto& r) { r.ReportEvent(event); }, true},
        {"the event stored again (its events file rewritten)",
         [&](auto& r) { r.ReportEvent(event); }, false},
    };
    size_t expected = 0;
    for (int run = 0; run < 2; ++run) {
        Reporter reporter(root, data); // the second run: after a restart
        for (const Step& step : steps) {
            step.report(reporter.reporter);
            expected += step.sent && run == 0 ? 1 : 0;
            ASSERT_TRUE(waitUntil([&] { return reporter.reporter.Status().queued == 0; }, 20000))
                << step.what;
            EXPECT_EQ(engine.received().size(), expected) << "run " << run << ": " << step.what;
        }
    }
    const std::vector<NodeEngine::Received> messages = engine.received();
    ASSERT_EQ(messages.size(), 4u);
    EXPECT_EQ(messages[1].fields.value("OBX.14").toString(), "20261208095530+0100");
    EXPECT_EQ(messages[1].fields.value("OBX.5").toString(), "3.5");
    EXPECT_EQ(messages[2].fields.value("OBX.5").toString(), "3.75");
    const std::map<QString, QString> eventFields = {
        {"MSH.9.1", "ORU"},
        {"PID.3.1", "P1"},
        {"OBR.7", "20261208101400+0100"},
        {"OBX.2", "ST"},
        {"OBX.3.1", "EVENT"},
        {"OBX.3.3", "99TVO"},
        {"OBX.5", "Catheter moved | flushed"},
        {"OBX.11", "F"},
        {"OBX.14", "20261208101400+0100"},
        {"OBX.18.1", "10.1.2.3"},
        {"OBX.18.2", "Tarvo"},
    };
    for (const auto& [path, value] : eventFields)
        EXPECT_EQ(messages[3].fields.value(path).toString(), value) << path.toStdString();
    EXPECT_EQ(messages[3].answer, "AA");

    // With ReportEvents off an event is left out.
    root.writeHive(RegistryRoot::CurrentUser,
                   QString::fromLatin1(kTarvoSection) +
                       reportSettings(engine.port, QStringLiteral("ReportEvents=dword:0\n")));
    Reporter off(root, data);
    event.time = event.time.addSecs(60);
    off.reporter.ReportEvent(event);
    EXPECT_EQ(off.reporter.Status().queued, 0);
    off.reporter.Report(at(5, 4.5));
    ASSERT_TRUE(waitUntil([&] { return engine.received().size() == 5; }, 20000));
    EXPECT_EQ(engine.received().back().fields.value("OBX.2").toString(), "NM");
}

TEST(ReportEngineTest, AnAdmissionsEventsReachTheEngineOnceNamingTheAnalyzersConnection) {
    REQUIRE_ENGINE(engine);
    ASSERT_TRUE(engine.error.isEmpty()) << engine.error.toStdString();
    TempRoot root;
    RunningCollector running(root,
                             QStringLiteral("AutoStart=dword:1\nCommunicationProtocol=XML\n") +
                                 reportSettings(engine.port));
    ASSERT_TRUE(running.started);
    const auto admit = [&](const QString& patient, int events) {
        QProcess analyzer;
        analyzer.start(kBin + "tarvo-sim",
                       {"--port", QString::number(running.port), "admission", patient, "--events",
                        QString::number(events), "--time", "2026-12-08T10:00:00"});
        ASSERT_TRUE(analyzer.waitForFinished(30000));
        ASSERT_EQ(analyzer.exitCode(), 0) << analyzer.readAllStandardError().toStdString();
    };
    const auto eventsOf = [&](const QString& patient) {
        std::vector<NodeEngine::Received> events;
        for (const NodeEngine::Received& message : engine.received())
            if (message.fields.value("PID.3.1").toString() == patient)
                events.push_back(message);
        return events;
    };
    // The same admission twice (its events file written anew), then another patient's.
    admit(QStringLiteral("K9"), 3);
    admit(QStringLiteral("K9"), 3);
    admit(QStringLiteral("K8"), 1);
    ASSERT_TRUE(waitUntil([&] { return eventsOf(QStringLiteral("K8")).size() == 1; }, 30000))
        << running->reporter()->StatusLine().toStdString();
    const std::vector<NodeEngine::Received> events = eventsOf(QStringLiteral("K9"));
    ASSERT_EQ(events.size(), 3u);
    for (size_t i = 0; i < events.size(); ++i) {
        const QJsonObject& fields = events[i].fields;
        EXPECT_EQ(fields.value("OBX.2").toString(), "ST") << i;
        EXPECT_EQ(fields.value("OBX.3.1").toString(), "EVENT") << i;
        EXPECT_EQ(fields.value("OBX.5").toString(), QStringLiteral("Event %1").arg(i + 1)) << i;
        EXPECT_TRUE(fields.value("OBX.14").toString().startsWith(
            QStringLiteral("2026120809%1").arg(57 + i)))
            << fields.value("OBX.14").toString().toStdString();
        EXPECT_EQ(fields.value("OBX.18.1").toString(), "127.0.0.1") << i;
        EXPECT_EQ(events[i].answer, "AA") << i;
    }
}
