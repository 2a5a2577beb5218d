// Results into patient series through real files and a real settings root.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "Clock.h"
#include "CollectorState.h"
#include "EventLog.h"
#include "LatestValueGrid.h"
#include "OrvantaLink.h"
#include "ParameterCatalogue.h"
#include "PatManagement.h"
#include "PatientList.h"
#include "PatientRecordFile.h"
#include "ProcessingHarness.h"
#include "ResultProcessor.h"
#include "SettingsStore.h"
#include "StoredFileParser.h"
#include "StoredPoints.h"
#include "TSaveItNew.h"
#include "TempRoot.h"
#include "XmlErrors.h"

namespace {

class RecordingAutomation final : public IPanoptraAutoObject {
public:
    explicit RecordingAutomation(QStringList& calls) : m_calls(calls) {}
    void NotifyUpdate() override { m_calls << QStringLiteral("NotifyUpdate"); }
    void ReportCollectState(qint32, qint32) override {}
    void AddEndPoint(qint32, const QString&, const QString&, double, qint32) override {}
    void AddResult(const QString& id, const QString& name, const QString& place,
                   const QString& unit, double, double value) override {
        m_calls << QStringLiteral("AddResult %1 %2 %3 %4 %5").arg(id, name, place, unit).arg(value);
        if (refuseResults)
            throw EOrvantaCallFailed("refused");
    }

    bool refuseResults = false;

private:
    QStringList& m_calls;
};

class ResultProcessorTest : public ::testing::Test, protected ProcessingHarness {
protected:
    void SetUp() override {
        state.protocol = AnalyzerProtocol::Xml;
        auto automation = std::make_unique<RecordingAutomation>(calls);
        server = automation.get();
        orvanta.attach(std::move(automation));
    }

    std::vector<StoredPoint> stored(const QString& id, const QString& file = "Tarvo.pil") const {
        return storedPoints(folderOf(id) + file);
    }

    void live(const QString& id, bool control, const QString& parameter, const QString& place,
              double value, const QString& unit = "mmol/L", const QString& status = "OK",
              const QString& time = "2026-12-08T12:00:00") {
        processor.ProcessResult(writer, id, control, 1, "V12", status, time, unit, value, parameter,
                                place, "Öberg", "Åsa");
    }

    QStringList calls;
    RecordingAutomation* server = nullptr;
};

} // namespace

TEST_F(ResultProcessorTest, XmlPatientSampleIsAnnouncedNotStored) {
    live("19121212-1212", false, "Glucose", "CNS", 2.5);
    EXPECT_TRUE(PatientRecordFile::Exists(folderOf("191212121212"))) << "AutoCreate made it";
    ASSERT_EQ(patients.Count(), 1);
    EXPECT_TRUE(patients.At(0).Checked);
    EXPECT_TRUE(patients.At(0).Enabled);
    EXPECT_EQ(calls,
              (QStringList{"AddResult 191212121212 Glucose CNS mmol/L 2.5", "NotifyUpdate"}));
    EXPECT_TRUE(stored("191212121212").empty());
    EXPECT_EQ(processor.LatestValue(), "Glucose CNS = 2.50 mmol/L");
    EXPECT_EQ(grid.Cell(0, 1), "Glucose CNS = 2.50 mmol/L");
    EXPECT_TRUE(registry.SweepRequested()) << "the registry is written once the event is done";
    QCoreApplication::processEvents();
    EXPECT_EQ(PatManagement::Field(settings.readText("Patient1"), 2), "191212121212")
        << "the new patient is saved in the registry";
    EXPECT_FALSE(processor.Progress().processing());
}

TEST_F(ResultProcessorTest, ControlsAreStoredUnderAutoControlByLevel) {
    live("AutoControl", true, "Lactate", "Low", 1.5);
    live("AutoControl", true, "Lactate", "Elevated", 6.0);
    live("AutoControl", true, "Lactate", "Low", 1.6);
    const std::vector<StoredPoint> points = stored("AutoControl");
    ASSERT_EQ(points.size(), 3u);
    EXPECT_EQ(points[0].place, "Low");
    EXPECT_EQ(points[1].place, "Low");
    EXPECT_DOUBLE_EQ(points[1].value, 1.6);
    EXPECT_EQ(points[2].place, "Elevated");
}

TEST_F(ResultProcessorTest, WhileTheSharedDataRootIsMonitoredLiveResultsAreNotStored) {
    state.monitorNetworkLocation = true; // the data files are built by the rebuilds alone
    live("AutoControl", true, "Lactate", "Low", 1.5);
    state.protocol = AnalyzerProtocol::Hl7;
    processor.ProcessResult(writer, "P1", false, 1, "V1", "OK", "20261208120500", "mmol/L", 4.5,
                            "Glucose", "CNS", "Son", "Per");
    EXPECT_TRUE(stored("AutoControl").empty());
    EXPECT_TRUE(stored("P1").empty());
    EXPECT_EQ(processor.LatestValue(), "Glucose CNS = 4.50 mmol/L") << "still shown";
}

TEST_F(ResultProcessorTest, ARefusedAnnouncementIsLoggedAndTheValueStaysStored) {
    server->refuseResults = true;
    EXPECT_NO_THROW(live("AutoControl", true, "Lactate", "Low", 1.5));
    state.protocol = AnalyzerProtocol::Hl7;
    EXPECT_NO_THROW(processor.ProcessResult(writer, "P1", true, 1, "V1", "OK", "20261208120500",
                                            "mmol/L", 4.5, "Glucose", "CNS", "Son", "Per"));
    ASSERT_EQ(stored("AutoControl").size(), 1u);
    EXPECT_DOUBLE_EQ(stored("AutoControl")[0].value, 1.5);
    ASSERT_EQ(stored("P1").size(), 1u);
    EXPECT_EQ(calls, (QStringList{"AddResult AutoControl Lactate Low mmol/L 1.5", "NotifyUpdate",
                                  "AddResult P1 Glucose CNS mmol/L 4.5", "NotifyUpdate"}))
        << "processing goes on to the update notice";
    EXPECT_EQ(log.mainLines().filter(" - Orvanta AddResult failed for ").size(), 2);
    EXPECT_TRUE(orvanta.isActive());
    EXPECT_FALSE(processor.Progress().processing());
}

TEST_F(ResultProcessorTest, LineProtocolSeriesByPlaceAndUnit) {
    state.protocol = AnalyzerProtocol::AstmE1381;
    const auto line = [&](const QString& place, const QString& unit, double value,
                          const QString& status) {
        processor.ProcessResult(writer, "P1", true, 1, "V1", status, "20261208120000", unit, value,
                                "Glucose", place, "Son", "Per");
    };
    line("CNS", "mM", 2.0, "OK");
    line("Muscle", "mM", 3.0, "LL");
    line("CNS", "mg/dL", 40.0, "");
    line("CNS", "mM", 2.0, "OK"); // the same result twice: stored twice
    const std::vector<StoredPoint> points = stored("P1");
    ASSERT_EQ(points.size(), 4u);
    EXPECT_EQ(catalogue.Count(), 2) << "the unit is not part of the catalogue key";
    QStringList series;
    for (const StoredPoint& point : points)
        series << point.place + '/' + point.unit;
    series.removeDuplicates();
    EXPECT_EQ(series.size(), 3);
    for (const StoredPoint& point : points) {
        if (point.place == "Muscle") {
            EXPECT_EQ(point.status, quint8(TAnalyseResult::arOverLinearityInterval));
            EXPECT_EQ(point.statusText, "LL");
        }
        if (point.unit == "mg/dL") {
            EXPECT_EQ(point.status, quint8(TAnalyseResult::arString));
        }
    }
    EXPECT_EQ(calls.count("NotifyUpdate"), 4);
    EXPECT_THROW(processor.ProcessResult(writer, "P1", true, 1, "V1", "OK", "2026-12", "mM", 1,
                                         "Glucose", "CNS", "", ""),
                 EConvertError)
        << "a line time text that does not convert reaches the caller";
    EXPECT_FALSE(processor.Progress().processing());
}

TEST_F(ResultProcessorTest, UntickedPatientGetsDisplaysButNoPoint) {
    state.autoCreate = false;
    state.protocol = AnalyzerProtocol::Hl7;
    PatientRecordFile::Create("P2", "Per", folderOf("P2"), "Son");
    processor.ProcessResult(writer, "P2", true, 1, "V1", "OK", "20261208120000", "mM", 2.0, "Urea",
                            "CNS", "Son", "Per");
    ASSERT_EQ(patients.Count(), 1);
    EXPECT_FALSE(patients.At(0).Checked);
    EXPECT_EQ(catalogue.Count(), 1);
    EXPECT_EQ(processor.LatestValue(), "Urea CNS = 2.00 mM");
    EXPECT_TRUE(stored("P2").empty());
    EXPECT_EQ(calls, QStringList{"NotifyUpdate"}) << "no announcement for an unticked patient";
}

TEST_F(ResultProcessorTest, IdsThatCleanToNothingAreIgnoredSilently) {
    live("***", true, "Glucose", "CNS", 1.0);
    live("NULL", true, "Glucose", "CNS", 1.0);
    EXPECT_EQ(patients.Count(), 0);
    EXPECT_TRUE(log.mainLines().isEmpty());
}

TEST_F(ResultProcessorTest, HostileIdsAreIgnoredWithOneLogLine) {
    live("..", true, "Glucose", "CNS", 1.0);
    live("../../etc", true, "Glucose", "CNS", 1.0);
    EXPECT_EQ(patients.Count(), 1) << "'../../etc' cleans to 'etc' (no leading dots, which would "
                                      "hide the folder), a plain folder name";
    EXPECT_TRUE(log.mainLines().first().contains(QStringLiteral("cannot name a patient folder")));
    EXPECT_TRUE(QFileInfo(state.dataRoot + "etc").isDir());
    EXPECT_FALSE(QFileInfo(root.driveC("TCA/etc")).exists());
}

TEST_F(ResultProcessorTest, AdmittedPatientsStoreFileResults) {
    processor.AdmitPatient(writer, "12/34-56", "Åsa", "Öberg");
    EXPECT_EQ(processor.Progress().currentPatient().id, "1234-56") << "admissions keep the hyphen";
    ASSERT_EQ(patients.Count(), 1);
    const QDateTime time(QDate(2026, 12, 8), QTime(10, 0));
    processor.StoreFileResult(writer, "CNS", true, 2, "A12", "OK", TAnalyseResult::arNormal, false,
                              time, "mM", 2.0, "Glucose");
    processor.StoreFileResult(writer, "CNS", true, 2, "A12", "", TAnalyseResult::arUndefined, false,
                              time, "", 1e10, "LGRatio");
    const std::vector<StoredPoint> points = stored("1234-56");
    ASSERT_EQ(points.size(), 1u) << "an undefined status is never stored";
    EXPECT_EQ(points[0].parameter, "Glucose");
    EXPECT_TRUE(calls.filter("AddResult").isEmpty()) << "file results are not announced";

    state.collection = CollectionState::CollectingOffline;
    processor.StoreFileResult(writer, "CNS", false, 1, "A13", "OK", TAnalyseResult::arNormal, false,
                              time.addSecs(30), "mM", 2.05, "Glucose");
    EXPECT_EQ(stored("1234-56").size(), 2u) << "collection runs while the link is lost";

    state.collection = CollectionState::Ready;
    processor.StoreFileResult(writer, "CNS", false, 1, "A13", "OK", TAnalyseResult::arNormal, false,
                              time.addSecs(60), "mM", 2.1, "Glucose");
    EXPECT_EQ(stored("1234-56").size(), 2u) << "not collecting";
    processor.StoreFileResult(writer, "CNS", false, 1, "A13", "OK", TAnalyseResult::arNormal, true,
                              time.addSecs(60), "mM", 2.1, "Glucose");
    EXPECT_EQ(stored("1234-56").size(), 3u) << "the force flag stores anyway";
}

TEST_F(ResultProcessorTest, ARecordFileThatAppearsLaterIsSeenAtTheNextResult) {
    state.autoCreate = false;
    patients.Add(TPatient{-1, "", "Åsa", "Öberg", "P3", true}, true, true);
    live("P3", true, "Glucose", "CNS", 1.0);
    EXPECT_TRUE(stored("P3").empty()) << "no record file, nothing stored";
    PatientRecordFile::Create("P3", "Åsa", folderOf("P3"), "Öberg");
    live("P3", true, "Glucose", "CNS", 2.0);
    live("P3", true, "Glucose", "CNS", 3.0);
    const std::vector<StoredPoint> points = stored("P3");
    ASSERT_EQ(points.size(), 2u);
    EXPECT_DOUBLE_EQ(points[0].value, 2.0);
}

TEST(XmlTimeText, ReadsEveryFormAsTheDateAndTimeFormatsDo) {
    const QStringList texts = {
        "2026-12-08T12:34:56", " 2026-12-08 T 07:05:09 ", "2026-12-08T12:34",
        "2026-2-8T1:2:3",      "2026-02-29T12:00:00",     "2028-02-29T23:59:59",
        "2026-13-01T12:00:00", "2026-12-08T24:00:00",     "2026-12-08T12:60:00",
        "2026/12/08T12:00:00", "+026-12-08T12:00:00",     "2026-12-08T12:00:00Z",
        "0000-01-01T00:00:00", "9999-12-31T23:59:59",     "2026-12-08T1a:00:00",
        "２026-12-08T12:00:00"};
    for (const QString& text : texts) {
        const qsizetype t = text.indexOf(u'T');
        const QDate date = QDate::fromString(text.left(t).trimmed(), QStringLiteral("yyyy-MM-dd"));
        const QString timeText = text.mid(t + 1).trimmed();
        QTime time = QTime::fromString(timeText, QStringLiteral("HH:mm:ss"));
        if (!time.isValid())
            time = QTime::fromString(timeText, QStringLiteral("HH:mm"));
        if (date.isValid() && time.isValid())
            EXPECT_EQ(TimeFromXmlText(text), QDateTime(date, time)) << text.toStdString();
        else
            EXPECT_THROW(TimeFromXmlText(text), EConvertError) << text.toStdString();
    }
    EXPECT_FALSE(TimeFromXmlText(QStringLiteral("2026-12-08 12:00:00")).isValid());
}

TEST_F(ResultProcessorTest, NamesAndIdsCannotAddSettingsAndReadBackAfterARestart) {
    root.writeHive(RegistryRoot::CurrentUser,
                   QString::fromLatin1(kTarvoSection) +
                       QStringLiteral("AutoStart=dword:1\nAutoCreate=dword:1\nPort=dword:14000\n"));
    const QString inject = QStringLiteral("\nDebugFolder=/tmp/elsewhere/\nDuplicateXMLFiles="
                                          "dword:1\n[SOFTWARE\\Other]\nAutoStart=dword:0\r\n");
    // Each name field and the ID in turn carries the attempt, in a live result and an admission.
    processor.ProcessResult(writer, "P1", true, 1, "V12", "OK", "2026-12-08T12:00:00", "mM", 1.0,
                            "Glucose", "CNS", "Berg", "Anna" + inject);
    processor.ProcessResult(writer, "P2", true, 1, "V12", "OK", "2026-12-08T12:00:00", "mM", 1.0,
                            "Glucose", "CNS", "Berg^X^Y" + inject, "Anna");
    processor.ProcessResult(writer, "P3" + inject, true, 1, "V12", "OK", "2026-12-08T12:00:00",
                            "mM", 1.0, "Glucose", "CNS", "Berg", "Anna");
    processor.AdmitPatient(writer, "P4\t\x1b", "Anna\x7f" + inject, "Berg" + inject);
    const QString cleaned = QStringLiteral("DebugFolder=/tmp/elsewhere/DuplicateXMLFiles=dword:1"
                                           "[SOFTWARE\\Other]AutoStart=dword:0");
    // IDs are kept to their first 64 characters.
    const QString cleanedId = QStringLiteral("P3DebugFolder=tmpelsewhereDuplicateXMLFiles=dword1"
                                             "[SOFTWAREOther]AutoStart=dword0")
                                  .left(PatManagement::kLongestPatientId);

    QCoreApplication::processEvents(); // the registry is written once the event is done

    // A new run reads the settings file anew and rebuilds the patient list from it.
    const RegistryHives hives(root.hives().fileOf(RegistryRoot::CurrentUser),
                              root.hives().fileOf(RegistryRoot::LocalMachine));
    const SettingsStore rereadSettings(hives, RegistryRoot::CurrentUser);
    EXPECT_TRUE(rereadSettings.read(Setting::DebugFolder).isEmpty());
    EXPECT_FALSE(rereadSettings.read(Setting::DuplicateXMLFiles));
    EXPECT_TRUE(rereadSettings.read(Setting::AutoStart));
    EXPECT_TRUE(rereadSettings.read(Setting::AutoCreate));
    EXPECT_EQ(rereadSettings.read(Setting::Port), 14000);
    QStringList names = rereadSettings.valueNames();
    names.sort();
    EXPECT_EQ(names, (QStringList{"AutoCreate", "AutoStart", "Patient1", "Patient2", "Patient3",
                                  "Patient4", "Port"}));
    EXPECT_FALSE(hives.keyExists(RegistryRoot::CurrentUser, QStringLiteral("SOFTWARE\\Other")));

    PatientListModel restartedList;
    PatManagement restarted(rereadSettings, restartedList, log, clock, IdReduction::None);
    restarted.SweepPatientRegistry(true);
    ASSERT_EQ(restartedList.Count(), 4);
    const auto entry = [&](const QString& id) -> const TPatient& {
        return restartedList.At(restartedList.IndexOf(id)).Patient;
    };
    EXPECT_EQ(entry("P1").FirstName, "Anna" + cleaned);
    EXPECT_EQ(entry("P1").LastName, "Berg");
    EXPECT_EQ(entry("P2").FirstName, "Anna");
    EXPECT_EQ(entry("P2").LastName, "BergXY" + cleaned);
    EXPECT_EQ(entry(cleanedId).FirstName, "Anna");
    EXPECT_EQ(entry("P4").FirstName, "Anna" + cleaned);
    EXPECT_EQ(entry("P4").LastName, "Berg" + cleaned);
    for (int i = 0; i < restartedList.Count(); ++i)
        EXPECT_TRUE(restartedList.At(i).Patient.Collect) << i;
    EXPECT_TRUE(QFileInfo(folderOf(cleanedId)).isDir());
}

TEST_F(ResultProcessorTest, LongNamesAndIdsAreCutWithALogLineBeforeTheyReachTheRegistry) {
    const QString longId = QStringLiteral("P").repeated(500);
    const QString longName = QStringLiteral("Å").repeated(1 << 20);
    processor.ProcessResult(writer, longId, true, 1, "V12", "OK", "2026-12-08T12:00:00", "mM", 1.0,
                            "Glucose", "CNS", longName, longName);
    processor.AdmitPatient(writer, "P2", "Anna", longName);
    processor.ProcessResult(writer, "P3", true, 1, "V12", "OK", "2026-12-08T12:00:00", "mM", 1.0,
                            "Glucose", "CNS", "Berg", "Anna");
    QCoreApplication::processEvents(); // the registry is written once the event is done

    const QString id = longId.left(PatManagement::kLongestPatientId);
    ASSERT_GE(patients.IndexOf(id), 0);
    EXPECT_EQ(patients.At(patients.IndexOf(id)).Patient.FirstName.size(),
              PatManagement::kLongestName);
    EXPECT_EQ(patients.At(patients.IndexOf("P2")).Patient.LastName.size(),
              PatManagement::kLongestName);
    EXPECT_TRUE(QFileInfo(folderOf(id)).isDir());
    const QStringList lines = log.mainLines();
    EXPECT_EQ(
        lines.filter(QStringLiteral("Patient ID of 500 characters cut to its first 64")).size(), 1);
    EXPECT_EQ(lines.filter(QStringLiteral("Patient name of patient ")).size(), 2)
        << "one line per result that was cut, none for P3";
    for (const QString& line : lines)
        EXPECT_LT(line.size(), 600) << "no log line carries the whole text";
    for (const auto& [name, value] : settings.readTexts(QStringLiteral("Patient")))
        EXPECT_LT(value.size(), 300) << name.toStdString();
}
