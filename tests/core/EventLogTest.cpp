#include <memory>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <QTimer>

#include "Clock.h"
#include "EventLog.h"
#include "TempRoot.h"
#include "WaitUntil.h"

namespace {

const QDateTime kAfternoon(QDate(2026, 12, 8), QTime(14, 3, 9));
const QLocale kSwedish(QLocale::Swedish, QLocale::Sweden);

QStringList fileLines(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromLatin1(file.readAll()).split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

class EventLogTest : public ::testing::Test {
protected:
    QString logFolder() const { return root.driveC("TEMP/"); }

    TempRoot root;
    ManualClock clock{kAfternoon};
};

} // namespace

TEST_F(EventLogTest, LinesCarryTimeStampsAndEmptyLinesDoNot) {
    EventLog log(clock, kSwedish);
    EXPECT_EQ(log.open(logFolder()), "");
    log.writeLog(QString());
    log.writeLog(QStringLiteral("Opening application /opt/tarvo/tarvo-collect"));
    clock.set(QDateTime(QDate(2026, 12, 9), QTime(0, 0)));
    log.writeLog(QStringLiteral("At midnight"));

    const QStringList expected = {
        QString(),
        QStringLiteral("2026-12-08 14:03:09 - Opening application /opt/tarvo/tarvo-collect"),
        QStringLiteral("2026-12-09 - At midnight"),
    };
    EXPECT_EQ(fileLines(log.mainFilePath()), expected);
    EXPECT_EQ(log.mainFilePath(), logFolder() + "Tarvo Logfile.txt");
}

TEST_F(EventLogTest, FileIsCrLfSeparatedWindows1252) {
    EventLog log(clock, kSwedish);
    log.open(logFolder());
    log.writeLog(QStringLiteral("Patient Åsa Öberg, 5 µmol/L, 3 €, Ω"));
    const QByteArray bytes = root.readFile(log.mainFilePath());
    EXPECT_EQ(bytes, QByteArray("2026-12-08 14:03:09 - Patient \xC5sa \xD6"
                                "berg, 5 \xB5mol/L, 3 \x80, ?\r\n"));
}

TEST_F(EventLogTest, MainLogKeepsAWindowOf201Lines) {
    EventLog log(clock, kSwedish);
    log.open(logFolder());
    for (int i = 1; i <= 202; ++i)
        log.writeLog(QStringLiteral("line %1").arg(i));
    const QStringList lines = fileLines(log.mainFilePath());
    ASSERT_EQ(lines.size(), 201);
    EXPECT_TRUE(lines.first().endsWith(QStringLiteral(" - line 2")));
    EXPECT_TRUE(lines.last().endsWith(QStringLiteral(" - line 202")));
}

TEST_F(EventLogTest, ExtendedLogKeepsAWindowOf1001LinesInItsOwnFile) {
    EventLog log(clock, kSwedish);
    log.open(logFolder());
    for (int i = 1; i <= 1002; ++i)
        log.writeExtendedLog(QStringLiteral("x%1").arg(i));
    const QStringList lines = fileLines(logFolder() + "Tarvo Logfile Extended.txt");
    ASSERT_EQ(lines.size(), 1001);
    EXPECT_TRUE(lines.first().endsWith(QStringLiteral(" - x2")));
    EXPECT_TRUE(log.mainLines().isEmpty());
}

TEST_F(EventLogTest, ContinuesAcrossRunsAndAnOversizedOldLogShrinksOneLinePerLine) {
    QByteArray old;
    for (int i = 1; i <= 250; ++i)
        old += "old " + QByteArray::number(i) + "\r\n";
    root.writeFile(QStringLiteral("C/TEMP/Tarvo Logfile.txt"), old);

    EventLog log(clock, kSwedish);
    EXPECT_EQ(log.open(logFolder()), "");
    ASSERT_EQ(log.mainLines().size(), 250);
    log.writeLog(QStringLiteral("new"));
    const QStringList lines = fileLines(log.mainFilePath());
    ASSERT_EQ(lines.size(), 250);
    EXPECT_EQ(lines.first(), "old 2");
    EXPECT_TRUE(lines.last().endsWith(QStringLiteral(" - new")));
}

TEST_F(EventLogTest, MissingFolderIsCreatedOneLevelDeep) {
    EventLog log(clock, kSwedish);
    EXPECT_EQ(log.open(logFolder()), "");
    EXPECT_TRUE(QFileInfo(logFolder()).isDir());
    EXPECT_TRUE(log.mainLines().isEmpty());

    const QString deep = root.driveC("a/b/c/");
    EventLog deepLog(clock, kSwedish);
    const QString failure = deepLog.open(deep);
    EXPECT_FALSE(failure.isEmpty());
    EXPECT_FALSE(QFileInfo(deep).exists());
    deepLog.writeLog(QStringLiteral("kept in memory"));
    ASSERT_EQ(deepLog.mainLines().size(), 1);
    EXPECT_TRUE(deepLog.mainLines().first().endsWith(QStringLiteral("kept in memory")));
}

TEST_F(EventLogTest, FolderTextWithoutSeparatorPutsFilesBesideTheFolder) {
    QDir().mkpath(root.driveC("Logs"));
    EventLog log(clock, kSwedish);
    log.open(root.driveC("Logs"));
    log.writeLog(QStringLiteral("beside"));
    EXPECT_TRUE(QFileInfo(root.driveC("LogsTarvo Logfile.txt")).isFile());
}

TEST_F(EventLogTest, UnwritableFolderKeepsLinesAndRetriesOnlyAfterAPause) {
    EventLog log(clock, kSwedish);
    const QString missing = root.driveC("gone/deeper/");
    log.open(missing); // cannot be created: two levels are missing
    log.writeLog(QStringLiteral("first"));

    QDir().mkpath(missing); // the folder comes back (a network share reconnects)
    log.writeLog(QStringLiteral("second"));
    EXPECT_FALSE(QFileInfo(missing + "Tarvo Logfile.txt").exists())
        << "no retry while the pause after a failure lasts";

    clock.advanceSeconds(RollingLogFile::kRetryPauseSeconds + 1);
    log.writeLog(QStringLiteral("third"));
    const QStringList lines = fileLines(missing + "Tarvo Logfile.txt");
    ASSERT_EQ(lines.size(), 3) << "every line kept in memory reaches the file";
    EXPECT_TRUE(lines.at(0).endsWith(QStringLiteral("first")));
    EXPECT_TRUE(lines.at(2).endsWith(QStringLiteral("third")));
}

TEST_F(EventLogTest, HeldLinesReachTheFileWhenThePauseIsOverWithoutANewLine) {
    EventLog log(clock, kSwedish);
    const QString missing = root.driveC("gone/deeper/");
    log.open(missing);
    log.writeLog(QStringLiteral("held"));
    QDir().mkpath(missing);

    clock.advanceSeconds(RollingLogFile::kRetryPauseSeconds - 1);
    EXPECT_FALSE(waitUntil([&] { return QFileInfo::exists(missing + "Tarvo Logfile.txt"); },
                           RollingLogFile::kRetryCheckMilliseconds + 200))
        << "the pause still lasts";
    clock.advanceSeconds(2);
    ASSERT_TRUE(waitUntil([&] { return fileLines(missing + "Tarvo Logfile.txt").size() == 1; }));
    EXPECT_TRUE(fileLines(missing + "Tarvo Logfile.txt").first().endsWith(QStringLiteral("held")));
}

TEST_F(EventLogTest, LogFolderThatDisappearsIsCreatedAgainWithAllLines) {
    EventLog log(clock, kSwedish);
    ASSERT_EQ(log.open(logFolder()), "");
    log.writeLog(QStringLiteral("before"));
    ASSERT_TRUE(QDir(logFolder()).removeRecursively());

    log.writeLog(QStringLiteral("after"));
    const QStringList lines = fileLines(log.mainFilePath());
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines.at(0).endsWith(QStringLiteral("before")));
    EXPECT_TRUE(lines.at(1).endsWith(QStringLiteral("after")));
    EXPECT_EQ(QDir(logFolder()).entryList(QDir::Files), QStringList{"Tarvo Logfile.txt"})
        << "nothing but the log is left in the folder";
}

TEST_F(EventLogTest, LinesOfOneLoopTurnAreOnDiskWhenTheLoopTurnsAgain) {
    EventLog log(clock, kSwedish);
    log.open(logFolder());
    int linesOnDiskAfterTurn = -1;
    QTimer::singleShot(0, [&] {
        for (int i = 1; i <= 3; ++i)
            log.writeLog(QStringLiteral("line %1").arg(i));
        QTimer::singleShot(
            0, [&] { linesOnDiskAfterTurn = int(fileLines(log.mainFilePath()).size()); });
    });
    ASSERT_TRUE(waitUntil([&] { return linesOnDiskAfterTurn >= 0; }));
    EXPECT_EQ(linesOnDiskAfterTurn, 3);
}

TEST_F(EventLogTest, LinesWrittenJustBeforeTheLogCloses) {
    auto log = std::make_unique<EventLog>(clock, kSwedish);
    log->open(logFolder());
    const QString path = log->mainFilePath();
    bool done = false;
    QTimer::singleShot(0, [&] {
        log->writeLog(QStringLiteral("Closing application"));
        log.reset();
        done = true;
    });
    ASSERT_TRUE(waitUntil([&] { return done; }));
    const QStringList lines = fileLines(path);
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines.first().endsWith(QStringLiteral("Closing application")));
}

TEST_F(EventLogTest, TimeStampDropsTheTimeZoneOfLongTimeFormats) {
    EventLog log(clock, QLocale::c());
    const QString stamp = log.timeStamp();
    EXPECT_TRUE(stamp.endsWith(QStringLiteral("14:03:09"))) << stamp.toStdString();
}

namespace {

// The main log's messages without their time stamps.
QStringList messagesOf(const EventLog& log) {
    QStringList messages;
    for (const QString& line : log.mainLines())
        messages << line.mid(line.indexOf(QStringLiteral(" - ")) + 3);
    return messages;
}

} // namespace

TEST_F(EventLogTest, ALineRepeatingWithinAMinuteIsWrittenOnceAndThenCounted) {
    const QString notActive = QStringLiteral("No Orvanta update, not active");
    const QString caption = QStringLiteral("New Caption = Tarvo Data Input Module - Collecting");
    const QString portError = QStringLiteral("Error(5): Error when trying to set IP port number");
    const QString appError = QStringLiteral("Application error: socket error");
    struct Step {
        qint64 advanceSeconds;
        QString message;
    };
    const std::vector<Step> steps = {
        {0, notActive},  {1, notActive}, {1, notActive}, {1, notActive}, // counted
        {1, caption},                                                    // a change ends it
        {1, caption},    {1, portError}, {1, portError},                 // errors are all kept
        {1, appError},   {0, appError},  {1, notActive}, {30, notActive},
        {30, notActive}, // the minute of the first has ended: counted, then written anew
        {1, notActive},
    };
    EventLog log(clock, kSwedish);
    log.open(logFolder());
    for (const Step& step : steps) {
        clock.advanceSeconds(step.advanceSeconds);
        const bool failure = step.message == portError || step.message == appError;
        log.writeLog(step.message, failure ? LogSeverity::Error : LogSeverity::Info);
    }
    log.flushRepeats(); // the end of the minute, or closing
    const QStringList expected = {
        notActive, notActive + QStringLiteral(" repeated 3 times"),
        caption,   caption + QStringLiteral(" repeated 1 time"),
        portError, portError,
        appError,  appError,
        notActive, notActive + QStringLiteral(" repeated 1 time"),
        notActive, notActive + QStringLiteral(" repeated 1 time"),
    };
    EXPECT_EQ(messagesOf(log), expected);
    EXPECT_EQ(fileLines(log.mainFilePath()).size(), expected.size());
    log.flushRepeats();
    EXPECT_EQ(messagesOf(log).size(), expected.size()) << "a count is written once";
}

TEST_F(EventLogTest, TheEndOfTheMinuteWritesTheCountWithoutAnotherLine) {
    EventLog log(clock, kSwedish);
    log.open(logFolder());
    log.writeLog(QStringLiteral("same"));
    // The timer of the minute runs on the event loop's time; 59 s later by the log's clock
    // leaves it 1 s to run.
    clock.advanceSeconds(59);
    log.writeLog(QStringLiteral("same"));
    log.writeLog(QStringLiteral("same"));
    ASSERT_EQ(messagesOf(log), QStringList{QStringLiteral("same")});
    EXPECT_TRUE(waitUntil([&] { return messagesOf(log).size() == 2; }, 5000));
    EXPECT_EQ(messagesOf(log).value(1), QStringLiteral("same repeated 2 times"));
}
