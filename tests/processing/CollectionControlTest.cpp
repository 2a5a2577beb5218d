#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "CollectionControl.h"
#include "CollectionSettings.h"
#include "LinkStatus.h"
#include "OleDateTime.h"
#include "PatientCheckList.h"
#include "PatientRecordFile.h"
#include "ProcessingHarness.h"
#include "RecordingAutomation.h"
#include "StoredFileParser.h"
#include "TSockets.h"

namespace {

class CollectionControlTest : public ::testing::Test, protected ProcessingHarness {
protected:
    std::unique_ptr<CollectionControl> makeControl(bool refuseStates = false) {
        orvanta.attach(std::make_unique<RecordingAutomation>(calls, refuseStates));
        return std::make_unique<CollectionControl>(CollectionControlContext{
            state, log, orvanta, patients, catalogue, grid, records, linkStatus, registry, clock,
            processor.Progress(), [this] { return connections; }, [] { return true; },
            [] {
            }});
    }

    TSockets records;
    LinkStatus linkStatus{log, [] {
                              return CaptionFacts{};
                          }};
    QStringList calls;
    int connections = 0;
};

const QDateTime kLastSample(QDate(2026, 12, 8), QTime(11, 0));

} // namespace

TEST_F(CollectionControlTest, StatesFollowTheLinkAndTheCommands) {
    state.collection = CollectionState::Offline;
    auto control = makeControl();
    int shown = 0;
    QObject::connect(control.get(), &CollectionControl::showWindowRequested, [&] { ++shown; });
    connections = 1;
    control->timerTick();
    EXPECT_EQ(state.collection, CollectionState::Ready);
    EXPECT_TRUE(control->controls().startEnabled);
    EXPECT_EQ(control->controls().state, CollectionState::Ready)
        << "the controls say which state they show";
    EXPECT_EQ(linkStatus.connectionLabel(), "Listening ...");

    control->start();
    EXPECT_EQ(state.collection, CollectionState::Collecting);
    EXPECT_TRUE(control->controls().trayIconWanted);
    EXPECT_EQ(control->controls().trayHint, "Collecting Tarvo Monitor Data");
    EXPECT_TRUE(control->controls().stopVisible);
    EXPECT_EQ(calls, (QStringList{"ReportCollectState 0 1", "ReportCollectState 0 2",
                                  "ReportCollectState 0 2"}))
        << "Offline to Ready, to Collecting, and the Start command's own report";

    patients.Add(TPatient{-1, "", "F", "L", "P1", true}, true, true);
    grid.ShowPatient("P1", "F", "L");
    connections = 0;
    control->timerTick();
    EXPECT_EQ(state.collection, CollectionState::CollectingOffline);
    EXPECT_FALSE(patients.At(0).Enabled) << "every row is disabled";
    EXPECT_EQ(grid.Cell(0, 0), "") << "the value grid is cleared";
    EXPECT_EQ(shown, 1);
    connections = 2;
    control->timerTick();
    EXPECT_EQ(state.collection, CollectionState::Collecting);
}

TEST_F(CollectionControlTest, ARefusedStateReportIsLoggedAndTheStateIsKept) {
    state.collection = CollectionState::Ready;
    auto control = makeControl(true);
    control->setCollectionState(CollectionState::Offline);
    EXPECT_EQ(state.collection, CollectionState::Offline) << "the collector's own state";
    EXPECT_TRUE(control->controls().startVisible) << "the window shows the new state";
    EXPECT_TRUE(orvanta.isActive());
    ASSERT_FALSE(log.mainLines().isEmpty());
    EXPECT_TRUE(log.mainLines().last().endsWith(
        QStringLiteral(" - Orvanta ReportCollectState failed (state 1): refused")))
        << log.mainLines().last().toStdString();

    // Start with a server that takes no report: collection runs as the operator asked, and the
    // link ends with the Start report.
    control->start();
    EXPECT_EQ(state.collection, CollectionState::Collecting);
    EXPECT_FALSE(orvanta.isActive());
    EXPECT_TRUE(log.mainLines().last().contains(
        QStringLiteral("Orvanta ReportCollectState failed (Start): refused; no further")));
}

TEST_F(CollectionControlTest, StopWritesEndPointsForTickedSendingPatients) {
    state.protocol = AnalyzerProtocol::Hl7;
    state.collection = CollectionState::Collecting;
    processor.Progress().setLastSampleTime(kLastSample);
    auto control = makeControl();
    catalogue.Add(0, "mM", "CNS", "Glucose", clock.now());
    catalogue.Add(1, "mM", "CNS", "Lactate", clock.now());
    patients.Add(TPatient{-1, "", "Per", "Son", "P1", true}, true, true);
    patients.Add(TPatient{-1, "", "Pia", "Son", "P2", false}, false, true);
    PatientRecordFile::Create("P1", "Per", folderOf("P1"), "Son"); // results arrived for P1
    PatientRecordFile::Create("P2", "Pia", folderOf("P2"), "Son");
    records.FindOrAdd("10.0.0.1").PatientID = "P1";
    records.FindOrAdd("10.0.0.2").PatientID = "P2";
    control->stop();
    EXPECT_EQ(state.collection, CollectionState::Ready);
    EXPECT_FALSE(state.busy);
    EXPECT_EQ(calls.filter("AddEndPoint"),
              (QStringList{"AddEndPoint 0 Glucose mM 2026-12-08T11:00:01 0",
                           "AddEndPoint 0 Lactate mM 2026-12-08T11:00:01 0"}));
    QFile file(folderOf("P1") + "Tarvo.pil");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const TStoredFileContent content = StoredFileParser::parse(file.readAll());
    ASSERT_EQ(content.series().size(), 2u);
    const TSeriesPoint& pause = content.series()[0]->Points->Points.at(0);
    ASSERT_TRUE(std::holds_alternative<TRecordDelimiterPoint>(pause));
    EXPECT_EQ(OleDateTime::toDateTime(std::get<TRecordDelimiterPoint>(pause).X),
              kLastSample.addSecs(1));
    EXPECT_FALSE(QFile::exists(folderOf("P2") + "Tarvo.pil")) << "P2 is not ticked";

    calls.clear();
    state.protocol = AnalyzerProtocol::Xml;
    state.collection = CollectionState::Collecting;
    control->stop();
    EXPECT_TRUE(calls.filter("AddEndPoint").isEmpty()) << "no end points for XML analyzers";
}

TEST_F(CollectionControlTest, AutoHideOnceDataHasArrived) {
    state.autoHide = true;
    auto control = makeControl();
    int hidden = 0;
    QObject::connect(control.get(), &CollectionControl::hideWindowRequested, [&] { ++hidden; });
    control->timerTick();
    EXPECT_EQ(hidden, 0);
    processor.Progress().noteDataReceived();
    control->timerTick();
    control->timerTick();
    EXPECT_EQ(hidden, 1);
}

TEST_F(CollectionControlTest, TickingCreatesTheRecordAndUntickingEndsEveryOpenSeries) {
    state.protocol = AnalyzerProtocol::Hl7;
    state.collection = CollectionState::Collecting;
    processor.Progress().setLastSampleTime(kLastSample);
    auto control = makeControl();
    PatientCheckList list(state, log, patients, registry, *control);
    QStringList created;
    QObject::connect(&list, &PatientCheckList::patientFileCreated,
                     [&](const QString& text) { created << text; });
    catalogue.Add(0, "mM", "CNS", "Glucose", clock.now());
    patients.Add(TPatient{-1, "", "Per", "Son", "P1", false}, false, true);
    patients.Add(TPatient{-1, "", "Pia", "Son", "P2", false}, false, false);
    records.FindOrAdd("10.0.0.1").PatientID = "P1";
    records.FindOrAdd("10.0.0.2").PatientID = "P2";

    ASSERT_TRUE(list.SetTicked("P1", true));
    EXPECT_TRUE(PatientRecordFile::Exists(folderOf("P1")));
    EXPECT_EQ(created.size(), 1);
    EXPECT_TRUE(created.first().startsWith("Created: P1 (Per Son) - "));
    EXPECT_TRUE(patients.At(0).Patient.Collect) << "the was-ticked flag";
    EXPECT_TRUE(settings.readText("Patient1").endsWith("^1")) << "the registry keeps the tick";

    PatientRecordFile::Create("P2", "Pia", folderOf("P2"), "Son");
    ASSERT_TRUE(list.SetTicked("P1", false));
    // Every patient with a writer, ticked or not, gets its end point.
    EXPECT_EQ(calls.filter("AddEndPoint").size(), 2);
    EXPECT_TRUE(QFile::exists(folderOf("P2") + "Tarvo.pil"));
    EXPECT_TRUE(settings.readText("Patient1").endsWith("^0"));
    EXPECT_FALSE(list.SetTicked("nobody", true));
}

TEST_F(CollectionControlTest, AFailingWalkIsLoggedAndTheRegistryStillSaved) {
    auto control = makeControl();
    PatientCheckList list(state, log, patients, registry, *control);
    // A file where the data root should be: the record file cannot be created.
    QDir(state.dataRoot).removeRecursively();
    QFile blocker(QDir::cleanPath(state.dataRoot));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    patients.Add(TPatient{-1, "", "Per", "Son", "P1", false}, true, true);
    list.CheckChanged();
    EXPECT_TRUE(log.mainLines().last().contains("Error(9): "))
        << log.mainLines().last().toStdString();
    EXPECT_TRUE(settings.valueNames().contains("Patient1"));
}

TEST_F(CollectionControlTest, DeleteOnlyRemovesPatientsThatAreNotSending) {
    auto control = makeControl();
    PatientCheckList list(state, log, patients, registry, *control);
    patients.Add(TPatient{-1, "", "A", "A", "P1", false}, false, true);
    patients.Add(TPatient{-1, "", "B", "B", "P2", false}, false, false);
    EXPECT_FALSE(list.MenuFor(0).deleteEnabled);
    EXPECT_TRUE(list.MenuFor(1).deleteEnabled);
    EXPECT_FALSE(list.MenuFor(-1).deleteEnabled) << "the header";
    EXPECT_TRUE(list.MenuFor(-1).recreateEnabled);
    state.protocol = AnalyzerProtocol::AstmE1381;
    EXPECT_FALSE(list.MenuFor(1).recreateEnabled) << "archives exist for XML analyzers only";
    EXPECT_TRUE(list.MenuFor(-1).importEnabled);

    EXPECT_FALSE(list.Delete(0));
    EXPECT_TRUE(list.Delete(1));
    EXPECT_EQ(patients.Count(), 1);
    EXPECT_TRUE(settings.valueNames().contains("Patient1"));
    EXPECT_FALSE(settings.valueNames().contains("Patient2")) << "the registry was rewritten";
    EXPECT_EQ(registry.LastWrite(), clock.now());
}

TEST(CollectionSettings, ReadTheSelectionAndTheFilterRules) {
    TempRoot root;
    root.writeHive(RegistryRoot::CurrentUser,
                   QString::fromLatin1(kTarvoSection) +
                       "Param0=3\nName3=Glucose\nParam1=5\nName5=Lactate\nParam3=7\n"
                       "FilterFunction=average\nInterval=dword:60\nMedianFilterValue=dword:20\n"
                       "Automatic=dword:0\nTimerInterval=dword:500\n");
    const SettingsStore settings(root.hives(), RegistryRoot::CurrentUser);
    CollectionSettings read = CollectionSettings::Read(settings);
    ASSERT_EQ(read.selection.size(), 2u) << "read until the first missing number";
    EXPECT_EQ(read.selection[1].index, 5);
    EXPECT_EQ(read.selection[1].name, "Lactate");
    EXPECT_EQ(read.filter, FilterFunction::Average);
    EXPECT_FALSE(read.automatic);
    EXPECT_EQ(read.intervalSeconds, 60);
    EXPECT_EQ(read.timerIntervalMs, 500);
    EXPECT_EQ(read.IntervalRefusal(), "Shortest allowed interval is 40 seconds.");
    EXPECT_EQ(filterFunctionFromSetting("Momentary value"), FilterFunction::Momentary);
    EXPECT_EQ(filterFunctionFromSetting("Average value"), FilterFunction::Median)
        << "Average only when it is the whole text";
    EXPECT_EQ(filterFunctionFromSetting("anything"), FilterFunction::Median);

    CollectionSettings::SaveSelection(settings, {{9, "Urea"}}, true);
    read = CollectionSettings::Read(settings);
    ASSERT_EQ(read.selection.size(), 1u);
    EXPECT_EQ(read.selection[0].index, 9);
    EXPECT_EQ(read.selection[0].name, "Urea");
    EXPECT_TRUE(read.automatic);
    EXPECT_FALSE(settings.valueNames().contains("Name3"));

    TParameters catalogue;
    catalogue.Add(9, "mM", "CNS", "Urea", QDateTime::currentDateTime());
    catalogue.Add(2, "mM", "CNS", "Glucose", QDateTime::currentDateTime());
    read.ApplySelection(catalogue);
    EXPECT_TRUE(catalogue.At(0).Selected);
    EXPECT_FALSE(catalogue.At(1).Selected);
}
