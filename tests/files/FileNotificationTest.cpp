// The file notification components, on real folders and files, with time run forward by the
// test.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "ManualTimers.h"
#include "TATFileNotification.h"
#include "TMyFileNotification.h"
#include "TOldTimer.h"
#include "WaitUntil.h"

namespace {

const QDateTime kStart(QDate(2026, 12, 1), QTime(8, 0));

class FileNotificationTest : public ::testing::Test {
protected:
    void write(const QString& path, const QByteArray& bytes) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    // Runs the event loop until the system has reported one more change to the hub.
    bool delivered(int& seen) {
        const bool arrived = waitUntil([&] { return hub.Deliveries() > seen; });
        seen = hub.Deliveries();
        return arrived;
    }

    QTemporaryDir dir;
    ManualClock clock{kStart};
    ManualTimers timers{clock};
    FileWatchHub hub;
};

} // namespace

TEST_F(FileNotificationTest, TheSmallTimerRestartsOnEveryChangeAndIgnoresUnchangedValues) {
    TOldTimer timer(timers);
    int ticks = 0;
    timer.SetOnTimer([&] { ++ticks; });
    timer.SetInterval(1000);
    timers.advanceMs(2500);
    EXPECT_EQ(ticks, 2) << "repeats";
    timer.SetEnabled(true); // already enabled: the running period goes on
    timers.advanceMs(500);
    EXPECT_EQ(ticks, 3);
    timer.SetInterval(2000); // restarts
    timers.advanceMs(1500);
    EXPECT_EQ(ticks, 3);
    timers.advanceMs(500);
    EXPECT_EQ(ticks, 4);
    timer.SetInterval(0);
    EXPECT_FALSE(timer.Running());
    timer.SetInterval(100);
    timer.SetEnabled(false);
    timers.advanceMs(1000);
    EXPECT_EQ(ticks, 4);
}

TEST_F(FileNotificationTest, DirectoryAndFileNameExcludeEachOther) {
    TATFileNotification notification(timers, &hub);
    EXPECT_EQ(notification.Options(),
              unsigned(foNotifyFilename | foNotifyDirname | foNotifyLastWrite));
    EXPECT_EQ(TATFileNotification::FilterOf(foNotifySize | foNotifySecurity), 0x108u);
    notification.SetDirectory("/data");
    notification.SetFileName("/data/a.txt");
    EXPECT_TRUE(notification.Directory().isEmpty());
    notification.SetFileName("/data/a.txt"); // the same value clears nothing
    notification.SetDirectory("/other");
    EXPECT_TRUE(notification.FileName().isEmpty());
    EXPECT_EQ(notification.Directory(), "/other");
}

TEST_F(FileNotificationTest, AFileInADriveRootWatchesTheDriveRoot) {
    EXPECT_EQ(TATFileNotification::FileModeFolder("C:\\Tarvo.ini"), "C:\\");
    EXPECT_EQ(TATFileNotification::FileModeFolder("C:Tarvo.ini"), "C:\\");
    EXPECT_EQ(TATFileNotification::FileModeFolder("C:\\TCA\\Tarvo.ini"), "C:\\TCA");
    EXPECT_EQ(TATFileNotification::FileModeFolder("\\Tarvo.ini"), "\\");
    EXPECT_EQ(TATFileNotification::FileModeFolder("/Tarvo.ini"), "/");
    EXPECT_EQ(TATFileNotification::FileModeFolder("/srv/tca/Tarvo.ini"), "/srv/tca");
}

TEST_F(FileNotificationTest, ChangesWithinTheDelayAreReportedOnce) {
    TATFileNotification notification(timers, &hub);
    int changed = 0;
    notification.OnChanged = [&](TATFileNotification& sender) {
        EXPECT_EQ(&sender, &notification);
        ++changed;
    };
    notification.SetDirectory(dir.path());
    notification.Start();
    notification.Start(); // started once
    ASSERT_TRUE(notification.Active());
    int seen = 0;

    write(dir.filePath("a.xml"), "a");
    ASSERT_TRUE(delivered(seen));
    EXPECT_TRUE(notification.ChangePending());
    timers.advanceMs(60);
    write(dir.filePath("b.xml"), "b");
    ASSERT_TRUE(delivered(seen));
    timers.advanceMs(40);
    EXPECT_EQ(changed, 1) << "both changes in one report, 100 ms after the first";
    timers.advanceMs(1000);
    EXPECT_EQ(changed, 1);

    QDir(dir.path()).mkdir("sub");
    ASSERT_TRUE(delivered(seen));
    timers.advanceMs(100);
    EXPECT_EQ(changed, 2);

    notification.Stop();
    EXPECT_FALSE(notification.Active());
    write(dir.filePath("c.xml"), "c");
    waitUntil([] { return false; }, 200); // a report would arrive meanwhile
    timers.advanceMs(1000);
    EXPECT_EQ(changed, 2) << "a stopped notification reports nothing";
}

TEST_F(FileNotificationTest, SubtreeWatchesFoldersCreatedBelow) {
    TATFileNotification notification(timers, &hub);
    int changed = 0;
    notification.OnChanged = [&](TATFileNotification&) {
        ++changed;
    };
    notification.SetDirectory(dir.path());
    notification.SetSubtree(true);
    notification.Start();
    int seen = 0;
    QDir(dir.path()).mkdir("sub");
    ASSERT_TRUE(delivered(seen));
    timers.advanceMs(100);
    write(dir.filePath("sub/deep.xml"), "x");
    ASSERT_TRUE(delivered(seen));
    timers.advanceMs(100);
    EXPECT_EQ(changed, 2);
}

TEST_F(FileNotificationTest, FileModeReportsOnlyRealChangesOfTheWatchedProperties) {
    const QString watched = dir.filePath("Tarvo.ini");
    write(watched, "one");
    TATFileNotification notification(timers, &hub);
    int changed = 0;
    notification.OnChanged = [&](TATFileNotification&) {
        ++changed;
    };
    notification.SetFileName(watched);
    notification.SetOptions(foNotifySize | foNotifyDirname);
    notification.Start();
    int seen = 0;

    write(dir.filePath("neighbour.txt"), "n"); // the folder changes, the file does not
    ASSERT_TRUE(delivered(seen));
    timers.advanceMs(200);
    EXPECT_EQ(changed, 0);

    QFile::setPermissions(watched, QFile::ReadOwner); // attributes are not watched
    ASSERT_TRUE(delivered(seen));
    timers.advanceMs(200);
    EXPECT_EQ(changed, 0);
    QFile::setPermissions(watched, QFile::ReadOwner | QFile::WriteOwner);
    ASSERT_TRUE(delivered(seen));

    write(watched, "longer"); // the size is
    ASSERT_TRUE(delivered(seen));
    timers.advanceMs(200);
    EXPECT_EQ(changed, 1);

    QFile::remove(watched); // existence always counts
    ASSERT_TRUE(delivered(seen));
    timers.advanceMs(200);
    EXPECT_EQ(changed, 2);
}

TEST_F(FileNotificationTest, AMissingFolderIsSilentUnlessItIsAwaited) {
    const QString archive = dir.filePath("P1/XML-files");
    QDir().mkpath(dir.filePath("P1"));
    TATFileNotification silent(timers, &hub);
    silent.SetDirectory(archive);
    TATFileNotification awaiting(timers, &hub);
    awaiting.SetDirectory(archive);
    awaiting.SetAwaitFolder(true);
    awaiting.SetSubtree(true);
    int silentChanges = 0, awaitedChanges = 0;
    silent.OnChanged = [&](TATFileNotification&) {
        ++silentChanges;
    };
    awaiting.OnChanged = [&](TATFileNotification&) {
        ++awaitedChanges;
    };
    silent.Start();
    awaiting.Start();
    EXPECT_TRUE(silent.Active()) << "started, though nothing can be watched";
    int seen = 0;

    QDir().mkpath(archive);
    ASSERT_TRUE(delivered(seen));
    timers.advanceMs(100);
    EXPECT_EQ(awaitedChanges, 1) << "the archive's appearance is a change";
    write(archive + "/{A}.xml", "a");
    ASSERT_TRUE(delivered(seen));
    timers.advanceMs(100);
    EXPECT_EQ(awaitedChanges, 2) << "and the archive is watched from then on";
    EXPECT_EQ(silentChanges, 0);
}

TEST_F(FileNotificationTest, APatientWatcherRebuildsOnceFiveSecondsAfterTheFirstChange) {
    TMyFileNotification watcher(timers, &hub);
    watcher.SetDirectory("/data/P1/XML-files");
    QStringList updates;
    QList<QDateTime> at;
    watcher.UpdateFromFolder = [&](const QString& folder) {
        updates << folder;
        at << clock.now();
    };
    watcher.NoteChange();
    timers.advanceMs(3000);
    watcher.NoteChange(); // counted; the running delay is not restarted
    EXPECT_EQ(watcher.ChangeCount(), 2);
    timers.advanceMs(2000);
    ASSERT_EQ(updates, QStringList{"/data/P1/XML-files"});
    EXPECT_EQ(at.first(), kStart.addSecs(5));
    EXPECT_EQ(watcher.ChangeCount(), 0);
    EXPECT_FALSE(watcher.Pending());
    timers.advanceMs(20000);
    EXPECT_EQ(updates.size(), 1);

    watcher.NoteChange();
    watcher.SetChangeCount(0); // stops the delay
    timers.advanceMs(10000);
    EXPECT_EQ(updates.size(), 1);
}
