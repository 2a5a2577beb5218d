// Folder monitoring of a shared data root: real folders and files, time run forward by the test,
// and the rebuilds it asks for recorded.
#include <gtest/gtest.h>

#include <functional>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include "EventLog.h"
#include "FolderMonitor.h"
#include "ManualTimers.h"
#include "WaitUntil.h"

namespace {

const QDateTime kStart(QDate(2026, 12, 1), QTime(8, 0));

struct Rebuild {
    QString patient;
    QDateTime at;
};

class FolderMonitorTest : public ::testing::Test {
protected:
    FolderMonitorTest() {
        monitor = std::make_unique<FolderMonitor>(
            FolderMonitorContext{log, clock, timers, [this](const QString& patient) {
                                     rebuilds.push_back({patient, clock.now()});
                                 }});
    }

    QString root() const { return dir.path() + "/"; }

    void makeArchive(const QString& patient) { QDir().mkpath(root() + patient + "/XML-files"); }

    void write(const QString& relative, const QByteArray& bytes = "<Tarvo/>") {
        QFile file(root() + relative);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    FolderMonitorSettings settings(bool monitoring = true) const {
        FolderMonitorSettings s;
        s.dataRoot = root();
        s.monitoring = monitoring;
        s.pollSeconds = pollSeconds;
        s.notifications = notifications;
        return s;
    }

    QStringList watched() const {
        QStringList folders;
        for (const auto& watcher : monitor->PatientWatchers())
            folders << QDir(root()).relativeFilePath(watcher->Directory());
        return folders;
    }

    // Runs the event loop until the system has reported one more change.
    bool delivered() {
        FileWatchHub& hub = monitor->Hub();
        const bool arrived = waitUntil([&] { return hub.Deliveries() > seen; });
        seen = hub.Deliveries();
        return arrived;
    }

    // Lets the real time pass after which the monitor trusts the folder stamps it has read (the
    // test's clock runs ahead of the file system's).
    void letStampsSettle() {
        QElapsedTimer elapsed;
        elapsed.start();
        waitUntil([&] { return elapsed.elapsed() > kSettleMs; });
    }

    int rebuildsOf(const QString& patient) const {
        return int(std::count_if(rebuilds.begin(), rebuilds.end(),
                                 [&](const Rebuild& r) { return r.patient == patient; }));
    }

    QTemporaryDir dir;
    ManualClock clock{kStart};
    ManualTimers timers{clock};
    EventLog log{clock};
    int pollSeconds = 10;
    bool notifications = true;
    std::vector<Rebuild> rebuilds;
    std::unique_ptr<FolderMonitor> monitor;
    int seen = 0;
    static constexpr int kSettleMs = 50;
};

} // namespace

TEST_F(FolderMonitorTest, StartUpWatchesPlainPatientFoldersWithoutRebuilding) {
    makeArchive("P1");
    makeArchive("P2");
    makeArchive(".P3"); // hidden
    QDir().mkpath(root() + "elsewhere/XML-files");
    ASSERT_TRUE(QFile::link(root() + "elsewhere", root() + "P4")); // not a plain folder
    QStringList monitoringText;
    QObject::connect(monitor.get(), &FolderMonitor::monitoringTextChanged,
                     [&](const QString& text) { monitoringText << text; });
    QStringList updateText;
    QObject::connect(monitor.get(), &FolderMonitor::updateTextChanged,
                     [&](const QString& text) { updateText << text; });

    EXPECT_FALSE(monitor->InitialScanDone());
    monitor->FirstShowing(settings());
    EXPECT_TRUE(monitor->InitialScanDone());
    EXPECT_TRUE(monitor->DataRootWatcher().Active());
    EXPECT_EQ(watched(), (QStringList{"P1/XML-files", "P2/XML-files", "elsewhere/XML-files"}));
    for (const auto& watcher : monitor->PatientWatchers())
        EXPECT_TRUE(watcher->Active());
    timers.advanceMs(60000);
    EXPECT_TRUE(rebuilds.empty());
    ASSERT_FALSE(monitoringText.isEmpty());
    EXPECT_EQ(monitoringText.last(), "Monitoring: " + root());
    ASSERT_FALSE(updateText.isEmpty());
    EXPECT_EQ(updateText.last(), "Update from: ");
}

TEST_F(FolderMonitorTest, TenFilesWithinTwoSecondsGiveOneRebuildFiveSecondsAfterTheFirst) {
    makeArchive("P1");
    makeArchive("P2");
    monitor->FirstShowing(settings());
    QStringList updateText;
    QObject::connect(monitor.get(), &FolderMonitor::updateTextChanged,
                     [&](const QString& text) { updateText << text; });
    for (int i = 0; i < 10; ++i) {
        write(QStringLiteral("P1/XML-files/{%1}.xml").arg(i));
        ASSERT_TRUE(delivered()) << i;
        timers.advanceMs(200);
    }
    timers.advanceMs(5100 - 2000);
    ASSERT_EQ(rebuilds.size(), 1u);
    EXPECT_EQ(rebuilds[0].patient, "P1");
    EXPECT_EQ(rebuilds[0].at, kStart.addMSecs(5100)) << "100 ms + 5 s after the first file";
    EXPECT_EQ(updateText.last(), "Update from: P1 At: 2026-12-01 08:00:05");
    // The polling scans that follow see what the rebuild read.
    timers.advanceMs(60000);
    EXPECT_EQ(rebuilds.size(), 1u);

    write("P1/XML-files/{later}.xml"); // a later burst is rebuilt again
    ASSERT_TRUE(delivered());
    timers.advanceMs(5100);
    EXPECT_EQ(rebuildsOf("P1"), 2);
    EXPECT_EQ(rebuildsOf("P2"), 0);
}

TEST_F(FolderMonitorTest, ANewPatientFolderIsWatchedAndRebuiltFiveSecondsLater) {
    makeArchive("P1");
    monitor->FirstShowing(settings());
    QDir().mkpath(root() + "P2/XML-files");
    ASSERT_TRUE(delivered());
    timers.advanceMs(100);
    EXPECT_EQ(watched(), (QStringList{"P1/XML-files", "P2/XML-files"}));
    timers.advanceMs(4900);
    EXPECT_TRUE(rebuilds.empty());
    timers.advanceMs(100);
    ASSERT_EQ(rebuilds.size(), 1u);
    EXPECT_EQ(rebuilds[0].patient, "P2");

    // A patient folder that goes away takes its watcher with it.
    ASSERT_TRUE(QDir(root() + "P1").removeRecursively());
    ASSERT_TRUE(waitUntil([&] {
        timers.advanceMs(100);
        return watched() == QStringList{"P2/XML-files"};
    }));
}

TEST_F(FolderMonitorTest, SwitchingMonitoringOnRebuildsEveryPatientOnlyWhenAskedTo) {
    makeArchive("P1");
    makeArchive("P2");
    QStringList monitoringText;
    QObject::connect(monitor.get(), &FolderMonitor::monitoringTextChanged,
                     [&](const QString& text) { monitoringText << text; });
    monitor->FirstShowing(settings(false));
    EXPECT_TRUE(watched().isEmpty());
    EXPECT_FALSE(monitor->Polling());
    EXPECT_EQ(monitoringText.last(), "") << "hidden";

    monitor->MonitoringSwitched(true, false);
    EXPECT_EQ(watched().size(), 2);
    timers.advanceMs(30000);
    EXPECT_TRUE(rebuilds.empty());

    monitor->MonitoringSwitched(false, false);
    EXPECT_TRUE(watched().isEmpty());
    monitor->MonitoringSwitched(true, true);
    timers.advanceMs(5000);
    EXPECT_EQ(rebuildsOf("P1"), 1);
    EXPECT_EQ(rebuildsOf("P2"), 1);
}

TEST_F(FolderMonitorTest, APatientFolderThatGainsItsArchiveLaterIsRebuilt) {
    QDir().mkpath(root() + "P1");
    monitor->FirstShowing(settings());
    ASSERT_EQ(watched(), QStringList{"P1/XML-files"});
    QDir().mkpath(root() + "P1/XML-files");
    ASSERT_TRUE(delivered());
    timers.advanceMs(100);
    write("P1/XML-files/{A}.xml");
    ASSERT_TRUE(delivered());
    timers.advanceMs(5000);
    ASSERT_EQ(rebuildsOf("P1"), 1);
    EXPECT_EQ(rebuilds[0].at, kStart.addMSecs(5100)) << "before any polling scan";
}

TEST_F(FolderMonitorTest, WithoutNotificationsThePollingScanSeesChangesAndNewPatients) {
    notifications = false;
    makeArchive("P1");
    monitor->FirstShowing(settings());
    EXPECT_TRUE(monitor->Polling());
    timers.advanceMs(30000);
    EXPECT_TRUE(rebuilds.empty()) << "scans of an unchanged archive";

    write("P1/XML-files/{A}.xml");
    QDir().mkpath(root() + "P2"); // its archive comes later
    timers.advanceMs(10000);      // scan at 40 s
    EXPECT_EQ(watched(), (QStringList{"P1/XML-files", "P2/XML-files"}));
    timers.advanceMs(5000);
    EXPECT_EQ(rebuildsOf("P1"), 1);
    EXPECT_EQ(rebuildsOf("P2"), 1) << "a new patient folder";

    makeArchive("P2");
    write("P2/XML-files/{B}.xml");
    timers.advanceMs(10000); // scan at 50 s
    timers.advanceMs(5000);
    EXPECT_EQ(rebuildsOf("P2"), 2);

    QFile::resize(root() + "P1/XML-files/{A}.xml", 100); // rewritten in place
    timers.advanceMs(15000);
    EXPECT_EQ(rebuildsOf("P1"), 2);
    timers.advanceMs(60000);
    EXPECT_EQ(rebuilds.size(), 4u);
}

TEST_F(FolderMonitorTest, NotificationsAndPollingTogetherGiveOneRebuildPerBurst) {
    pollSeconds = 1;
    makeArchive("P1");
    monitor->FirstShowing(settings());
    write("P1/XML-files/{A}.xml");
    ASSERT_TRUE(delivered());
    timers.advanceMs(100);
    timers.advanceMs(1000); // the scan sees the same file while the rebuild waits
    EXPECT_EQ(monitor->PatientWatchers().front()->ChangeCount(), 2);
    timers.advanceMs(30000);
    EXPECT_EQ(rebuildsOf("P1"), 1);
}

TEST_F(FolderMonitorTest, FoldersTheSystemRefusesToWatchArePolledWithOneLogLine) {
    pollSeconds = 0; // no polling while everything can be watched
    for (int i = 0; i < 5; ++i)
        makeArchive(QStringLiteral("P%1").arg(i));
    monitor->Hub().SetPathLimit(3); // the data root and two archives
    monitor->FirstShowing(settings());
    EXPECT_EQ(watched().size(), 5);
    EXPECT_TRUE(monitor->Polling());
    int refusals = 0;
    for (const QString& line : log.mainLines())
        refusals += line.contains("Folder monitoring: the system refused to watch") ? 1 : 0;
    EXPECT_EQ(refusals, 1);

    write("P4/XML-files/{A}.xml"); // not watched: only the scan sees it
    timers.advanceMs(15000);
    EXPECT_EQ(rebuildsOf("P4"), 1);
}

TEST_F(FolderMonitorTest, ClosingStopsEveryWatcher) {
    makeArchive("P1");
    monitor->FirstShowing(settings());
    monitor->Close();
    EXPECT_FALSE(monitor->DataRootWatcher().Active());
    for (const auto& watcher : monitor->PatientWatchers())
        EXPECT_FALSE(watcher->Active());
    EXPECT_FALSE(monitor->Polling());
    write("P1/XML-files/{A}.xml");
    QDir().mkpath(root() + "P2/XML-files");
    waitUntil([] { return false; }, 200);
    timers.advanceMs(60000);
    EXPECT_TRUE(rebuilds.empty());
}

TEST_F(FolderMonitorTest, ABurstStillInItsDelayIsRebuiltWhenMonitoringCloses) {
    makeArchive("P1");
    makeArchive("P2");
    monitor->FirstShowing(settings());
    write("P1/XML-files/{A}.xml");
    ASSERT_TRUE(delivered());
    timers.advanceMs(1000);
    ASSERT_TRUE(rebuilds.empty());
    monitor->Close();
    ASSERT_EQ(rebuilds.size(), 1u);
    EXPECT_EQ(rebuilds[0].patient, "P1");
    monitor->Close();
    timers.advanceMs(60000);
    EXPECT_EQ(rebuilds.size(), 1u) << "once, and nothing after closing";
}

TEST_F(FolderMonitorTest, ThePatientIsTheFolderHoldingTheArchive) {
    EXPECT_EQ(FolderMonitor::PatientFromPath("\\\\server\\DATA\\P-17\\XML-files"), "P-17");
    EXPECT_EQ(FolderMonitor::PatientFromPath("/mnt/ward/DATA/P-17/XML-files"), "P-17");
    EXPECT_EQ(FolderMonitor::PatientFromPath("/mnt/ward/DATA/P-17/XML-files/sub"), "P-17");
}

TEST_F(FolderMonitorTest, AnArchiveFolderThatIsALinkOutOfItsPatientIsNotWatched) {
    makeArchive("P1");
    QDir().mkpath(root() + "P2");
    ASSERT_TRUE(QFile::link(root() + "P1/XML-files", root() + "P2/XML-files"));
    QTemporaryDir outside;
    QDir().mkpath(root() + "P3");
    ASSERT_TRUE(QFile::link(outside.path(), root() + "P3/XML-files"));
    QDir().mkpath(root() + "P4/archive");
    ASSERT_TRUE(QFile::link(root() + "P4/archive", root() + "P4/XML-files")); // stays inside

    monitor->FirstShowing(settings());
    EXPECT_EQ(watched(), (QStringList{"P1/XML-files", "P4/XML-files"}));
    makeArchive("P5"); // a rescan of the data root
    ASSERT_TRUE(delivered());
    timers.advanceMs(100);
    EXPECT_TRUE(watched().contains("P5/XML-files"));
    for (const char* patient : {"P2", "P3"}) {
        const QString line = "Symbolic link " + QDir::toNativeSeparators(root() + patient) +
                             "/XML-files leads outside the patient folder";
        EXPECT_EQ(log.mainLines().filter(line).size(), 1) << patient;
    }
}

namespace {

// A ward of three rotating slices of archives, each holding two documents and a folder with one.
constexpr int kWard = 3 * FolderMonitor::kFullCheckMinimum;

QString wardPatient(int index) {
    return QStringLiteral("W%1").arg(index, 2, 10, QChar('0'));
}

struct ScanCase {
    const char* change;
    // Changes the archive (a path ending in "/XML-files/").
    std::function<void(const QString& archive)> apply;
    // Scans within which the change must be seen.
    bool withinOneScan;
};

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(bytes);
}

} // namespace

TEST_F(FolderMonitorTest, AWardScanReadsChangedArchivesAndARotatingSliceOfTheRest) {
    notifications = false;
    for (int p = 0; p < kWard; ++p) {
        const QString archive = root() + wardPatient(p) + "/XML-files/";
        QDir().mkpath(archive + "sub");
        write(wardPatient(p) + "/XML-files/{A}.xml", "<Tarvo>A</Tarvo>");
        write(wardPatient(p) + "/XML-files/{B}.xml", "<Tarvo>B</Tarvo>");
        write(wardPatient(p) + "/XML-files/sub/{C}.xml", "<Tarvo>C</Tarvo>");
    }
    monitor->SetStampSettleMs(kSettleMs);
    monitor->FirstShowing(settings());
    ASSERT_EQ(monitor->PatientWatchers().size(), size_t(kWard));
    EXPECT_EQ(monitor->FullCheckRound(), 3);
    letStampsSettle();
    timers.advanceMs(10000); // reads every archive once more: the stamps are settled now

    int before = monitor->ListingsRead();
    timers.advanceMs(10000);
    EXPECT_EQ(monitor->ListingsRead() - before, FolderMonitor::kFullCheckMinimum)
        << "an unchanged ward: one slice is read";
    before = monitor->ListingsRead();

    const std::vector<ScanCase> cases = {
        {"a document added",
         [](const QString& a) { writeFile(a + "{new}.xml", "<Tarvo>new</Tarvo>"); }, true},
        {"a document removed", [](const QString& a) { QFile::remove(a + "{A}.xml"); }, true},
        {"a document renamed",
         [](const QString& a) { QFile::rename(a + "{A}.xml", a + "{Z}.xml"); }, true},
        {"a document added below",
         [](const QString& a) { writeFile(a + "sub/{D}.xml", "<Tarvo>D</Tarvo>"); }, true},
        {"a folder with a document added",
         [](const QString& a) {
             QDir().mkpath(a + "more");
             writeFile(a + "more/{E}.xml", "<Tarvo>E</Tarvo>");
         },
         true},
        {"the archive removed", [](const QString& a) { QDir(a).removeRecursively(); }, true},
        {"a document rewritten in place",
         [](const QString& a) { writeFile(a + "{B}.xml", "<Tarvo>b</Tarvo>"); }, false},
        {"a document below rewritten in place",
         [](const QString& a) { writeFile(a + "sub/{C}.xml", "<Tarvo>c</Tarvo>"); }, false},
    };
    ASSERT_LE(int(cases.size()), FolderMonitor::kFullCheckMinimum);
    for (size_t c = 0; c < cases.size(); ++c) {
        SCOPED_TRACE(cases[c].change);
        // One archive in each slice: whatever the rotation, two of them are not read for it.
        QStringList patients;
        for (int slice = 0; slice < 3; ++slice)
            patients << wardPatient(int(c) + slice * FolderMonitor::kFullCheckMinimum);
        for (const QString& patient : patients)
            cases[c].apply(root() + patient + "/XML-files/");
        const int scans = cases[c].withinOneScan ? 1 : monitor->FullCheckRound();
        for (int scan = 0; scan < scans; ++scan) {
            timers.advanceMs(10000);
            // The slice, the changed archives, and those read again until their stamps settle
            // (changed by the case before, and read by its rebuilds).
            if (scan == 0 && cases[c].withinOneScan) {
                EXPECT_LE(monitor->ListingsRead() - before,
                          FolderMonitor::kFullCheckMinimum + 3 * 3);
            }
        }
        timers.advanceMs(5000);
        for (const QString& patient : patients)
            EXPECT_EQ(rebuildsOf(patient), 1) << patient.toStdString();
        letStampsSettle();
        timers.advanceMs(5000); // scans align again
        before = monitor->ListingsRead();
    }
    timers.advanceMs(60000);
    EXPECT_EQ(rebuilds.size(), 3 * cases.size()) << "each change once";
}

TEST_F(FolderMonitorTest, AnArchiveReplacedByALinkOutOfItsPatientIsLeftByTheScan) {
    notifications = false;
    makeArchive("P1");
    makeArchive("P2");
    monitor->SetStampSettleMs(kSettleMs);
    monitor->FirstShowing(settings());
    letStampsSettle();
    timers.advanceMs(20000);
    ASSERT_EQ(watched(), (QStringList{"P1/XML-files", "P2/XML-files"}));

    QTemporaryDir outside;
    ASSERT_TRUE(QDir(root() + "P2/XML-files").removeRecursively());
    ASSERT_TRUE(QFile::link(outside.path(), root() + "P2/XML-files"));
    timers.advanceMs(10000);
    EXPECT_EQ(watched(), QStringList{"P1/XML-files"});
    EXPECT_EQ(log.mainLines().filter("Symbolic link").size(), 1);
}
