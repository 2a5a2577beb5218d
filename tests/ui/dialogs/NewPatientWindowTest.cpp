#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "PatientRecordFile.h"
#include "TfrmNewPatient.h"
#include "WaitUntil.h"

TEST(NewPatientWindow, ShowsTheCreatedTextOfANewPatientFileAndHidesItselfAgain) {
    QTemporaryDir dir;
    const QString folder = dir.path() + QStringLiteral("/1912/");
    // The text the collector sends when it has created a patient's record file.
    const QString status = PatientRecordFile::Create(QStringLiteral("1912"), QStringLiteral("Ada"),
                                                     folder, QStringLiteral("Berg"));
    ASSERT_TRUE(QFile::exists(folder + QStringLiteral("Patient")));

    TfrmNewPatient window;
    EXPECT_EQ(window.windowTitle(), QStringLiteral("New Patient"));
    EXPECT_EQ(window.hideDelay(), 5000);
    EXPECT_FALSE(window.isVisible());

    window.setHideDelay(40);
    window.showCreated(status);
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.statusText(), QStringLiteral("Created: 1912 (Ada Berg) - ") + folder);
    EXPECT_TRUE(waitUntil([&] { return !window.isVisible(); }));
    EXPECT_FALSE(window.hidePending());
}

TEST(NewPatientWindow, ABarePatientTextGetsThePrefixOnce) {
    TfrmNewPatient window;
    window.showCreated(QStringLiteral("77 (Bo Lund) - /data/77/"));
    EXPECT_EQ(window.statusText(), QStringLiteral("Created: 77 (Bo Lund) - /data/77/"));
    window.showCreated(QStringLiteral("Created: 78 (Al Ek) - /data/78/"));
    EXPECT_EQ(window.statusText(), QStringLiteral("Created: 78 (Al Ek) - /data/78/"));
}

TEST(NewPatientWindow, ASecondAnnouncementStartsTheWholeDelayAgain) {
    TfrmNewPatient window;
    window.setHideDelay(400);
    window.showCreated(QStringLiteral("Created: 1 (A B) - /d/1/"));
    QTest::qWait(250);
    window.showCreated(QStringLiteral("Created: 2 (C D) - /d/2/"));
    QElapsedTimer sinceSecond;
    sinceSecond.start();
    EXPECT_TRUE(window.isVisible());
    ASSERT_TRUE(waitUntil([&] { return !window.isVisible(); }));
    // Never before the whole delay (less the few per cent a coarse timer may fire early); the
    // first countdown alone would have hidden it about 150 ms after the second announcement.
    EXPECT_GE(sinceSecond.elapsed(), 370);
    EXPECT_EQ(window.statusText(), QStringLiteral("Created: 2 (C D) - /d/2/"));
}
