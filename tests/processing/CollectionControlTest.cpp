#include <gtest/gtest.h>

#include <QFile>

#include "CollectionControl.h"
#include "LinkStatus.h"
#include "OleDateTime.h"
#include "PatientRecordFile.h"
#include "ProcessingHarness.h"
#include "StoredFileParser.h"
#include "TSockets.h"

namespace {

class RecordingAutomation final : public IPanoptraAutoObject {
public:
    RecordingAutomation(QStringList& calls, bool refuseStates)
        : m_calls(calls), m_refuse(refuseStates) {}
    void NotifyUpdate() override {}
    void ReportCollectState(qint32 handle, qint32 state) override {
        m_calls << QStringLiteral("ReportCollectState %1 %2").arg(handle).arg(state);
        if (m_refuse)
            throw EOrvantaCallFailed("refused");
    }
    void AddEndPoint(qint32 handle, const QString& name, const QString& unit, double time,
                     qint32 reserved) override {
        m_calls << QStringLiteral("AddEndPoint %1 %2 %3 %4 %5")
                       .arg(handle)
                       .arg(name, unit)
                       .arg(OleDateTime::toDateTime(time).toString(Qt::ISODate))
                       .arg(reserved);
    }
    void AddResult(const QString&, const QString&, const QString&, const QString&, double,
                   double) override {}

private:
    QStringList& m_calls;
    bool m_refuse;
};

class CollectionControlTest : public ::testing::Test, protected ProcessingHarness {
protected:
    std::unique_ptr<CollectionControl> makeControl(bool refuseStates = false) {
        orvanta.attach(std::make_unique<RecordingAutomation>(calls, refuseStates));
        return std::make_unique<CollectionControl>(CollectionControlContext{
            state, log, orvanta, patients, catalogue, grid, records, linkStatus, registry, clock,
            [this] { return connections; }, [] { return true; },
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
    control->TimerTick();
    EXPECT_EQ(state.collection, CollectionState::Ready);
    EXPECT_TRUE(control->Controls().startEnabled);
    EXPECT_EQ(linkStatus.connectionLabel(), "Listening ...");

    control->Start();
    EXPECT_EQ(state.collection, CollectionState::Collecting);
    EXPECT_TRUE(control->Controls().trayIconWanted);
    EXPECT_EQ(control->Controls().trayHint, "Collecting Tarvo Monitor Data");
    EXPECT_TRUE(control->Controls().stopVisible);
    EXPECT_EQ(calls, (QStringList{"ReportCollectState 0 1", "ReportCollectState 0 2",
                                  "ReportCollectState 0 2"}))
        << "Offline to Ready, to Collecting, and the Start command's own report";

    patients.Add(TPatient{-1, "", "F", "L", "P1", true}, true, true);
    grid.ShowPatient("P1", "F", "L");
    connections = 0;
    control->TimerTick();
    EXPECT_EQ(state.collection, CollectionState::CollectingOffline);
    EXPECT_FALSE(patients.At(0).Enabled) << "every row is disabled";
    EXPECT_EQ(grid.Cell(0, 0), "") << "the value grid is cleared";
    EXPECT_EQ(shown, 1);
    connections = 2;
    control->TimerTick();
    EXPECT_EQ(state.collection, CollectionState::Collecting);
}

TEST_F(CollectionControlTest, ARefusedStateReportKeepsTheStoredState) {
    state.collection = CollectionState::Ready;
    auto control = makeControl(true);
    control->SetCollectionState(CollectionState::Offline);
    EXPECT_EQ(state.collection, CollectionState::Ready) << "not stored";
    EXPECT_TRUE(control->Controls().startVisible) << "the window shows the new state";
    EXPECT_TRUE(orvanta.isActive());
}

TEST_F(CollectionControlTest, StopWritesEndPointsForTickedSendingPatients) {
    state.protocol = AnalyzerProtocol::Hl7;
    state.collection = CollectionState::Collecting;
    state.lastSampleTime = kLastSample;
    auto control = makeControl();
    catalogue.Add(0, "mM", "CNS", "Glucose", clock.now());
    catalogue.Add(1, "mM", "CNS", "Lactate", clock.now());
    patients.Add(TPatient{-1, "", "Per", "Son", "P1", true}, true, true);
    patients.Add(TPatient{-1, "", "Pia", "Son", "P2", false}, false, true);
    PatientRecordFile::Create("P1", "Per", folderOf("P1"), "Son"); // results arrived for P1
    PatientRecordFile::Create("P2", "Pia", folderOf("P2"), "Son");
    records.FindOrAdd("10.0.0.1").PatientID = "P1";
    records.FindOrAdd("10.0.0.2").PatientID = "P2";
    control->Stop();
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
    control->Stop();
    EXPECT_TRUE(calls.filter("AddEndPoint").isEmpty()) << "no end points for XML analyzers";
}

TEST_F(CollectionControlTest, AutoHideOnceDataHasArrived) {
    state.autoHide = true;
    auto control = makeControl();
    int hidden = 0;
    QObject::connect(control.get(), &CollectionControl::hideWindowRequested, [&] { ++hidden; });
    control->TimerTick();
    EXPECT_EQ(hidden, 0);
    state.dataReceived = true;
    control->TimerTick();
    control->TimerTick();
    EXPECT_EQ(hidden, 1);
}
