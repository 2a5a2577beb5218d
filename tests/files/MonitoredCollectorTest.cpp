// A collector that monitors its shared data root: rebuilds through the collector's own rebuild
// path into real patient data files, with time run forward by the test.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "ManualTimers.h"
#include "PatientRecordFile.h"
#include "RunningCollector.h"
#include "SimulatedMessages.h"
#include "StoredPoints.h"

using namespace SimulatedMessages;

namespace {

const QDateTime kStart(QDate(2026, 12, 1), QTime(8, 0));

class MonitoredCollectorTest : public ::testing::Test {
protected:
    void start(bool monitoring) {
        collector = std::make_unique<RunningCollector>(
            root, QStringLiteral("MonitorNetworkLocation=dword:%1\n").arg(monitoring ? 1 : 0),
            RunningCollector::AutomationFactory{}, &clock, &timers);
        ASSERT_TRUE(collector->started);
    }

    QString dataRoot() const { return root.driveC("TCA/DATA/"); }

    // Another collector archives a document of the patient.
    void archive(const QString& id, const QString& uniqueId) {
        PatientDocument d;
        d.schemaYear = 2012;
        d.patient = {id, "Anna", "Berg"};
        d.uniqueId = uniqueId;
        d.measurements = 18; // six of each analyte
        d.start = kStart;
        PatientRecordFile::CreateIfMissing(id, "Anna", dataRoot() + id + "/", "Berg");
        QDir().mkpath(dataRoot() + id + "/XML-files");
        QFile file(dataRoot() + id + "/XML-files/" + uniqueId + ".xml");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(patientData(d).replace("utf-16", "utf-8").toUtf8());
    }

    int glucose(const QString& id) const {
        return countOf(storedPoints(dataRoot() + id + "/Tarvo.pil"), "Glucose");
    }

    TempRoot root;
    ManualClock clock{kStart};
    ManualTimers timers{clock};
    std::unique_ptr<RunningCollector> collector;
};

} // namespace

TEST_F(MonitoredCollectorTest, ExistingPatientsAreWatchedAndNewOnesRebuiltFromTheSharedArchive) {
    archive("P1", "{A}");
    start(true);
    FolderMonitor& monitor = (*collector)->folderMonitor();
    ASSERT_EQ(monitor.PatientWatchers().size(), 1u);
    QStringList updates;
    QObject::connect(collector->collector.get(), &Collector::updateTextChanged,
                     [&](const QString& text) { updates << text; });
    timers.advanceMs(30000);
    EXPECT_FALSE(QFile::exists(dataRoot() + "P1/Tarvo.pil")) << "not rebuilt at start-up";

    const int before = monitor.Hub().Deliveries();
    archive("P2", "{B}"); // a patient that this collector never received
    ASSERT_TRUE(waitUntil([&] { return monitor.Hub().Deliveries() > before; }));
    timers.advanceMs(5100);
    EXPECT_EQ(glucose("P2"), 6);
    EXPECT_TRUE(collector->logged("Recreated data for P2: 1 documents read, 0 skipped"));
    ASSERT_FALSE(updates.isEmpty());
    EXPECT_EQ(updates.last(), "Update from: P2 At: 2026-12-01 08:00:35");

    (*collector)->close();
    EXPECT_FALSE(monitor.DataRootWatcher().Active());
    EXPECT_FALSE(monitor.PatientWatchers().front()->Active());
}

TEST_F(MonitoredCollectorTest, SwitchingMonitoringOnWithRebuildRebuildsEveryPatient) {
    archive("P1", "{A}");
    archive("P2", "{B}");
    start(false);
    QStringList texts;
    QObject::connect(collector->collector.get(), &Collector::monitoringTextChanged,
                     [&](const QString& text) { texts << text; });
    EXPECT_TRUE((*collector)->folderMonitor().PatientWatchers().empty());
    root.writeHive(RegistryRoot::CurrentUser,
                   QString::fromLatin1(kTarvoSection) +
                       QStringLiteral("Port=dword:%1\nAutoCreate=dword:1\n"
                                      "MonitorNetworkLocation=dword:1\n")
                           .arg(collector->port));
    (*collector)->monitoringSwitched(true);
    EXPECT_TRUE((*collector)->state().monitorNetworkLocation);
    ASSERT_FALSE(texts.isEmpty());
    EXPECT_EQ(texts.last(), "Monitoring: " + dataRoot());
    timers.advanceMs(5000);
    EXPECT_EQ(glucose("P1"), 6);
    EXPECT_EQ(glucose("P2"), 6);
}
