// The relay queue across restarts and within its bound.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "SmallTmpfs.h"
#include "StoredRelayList.h"
#include "TempRoot.h"

namespace {

class StoredRelayListTest : public ::testing::Test {
protected:
    std::unique_ptr<StoredRelayList> open(qsizetype limit = StoredRelayList::kDefaultLimit) {
        return std::make_unique<StoredRelayList>(
            folder, limit, [this](const QString& line, LogSeverity) { logged << line; },
            [] { return QDate(2026, 12, 8); });
    }

    static void addMessage(TRelayList& list, const QByteArray& id) {
        list.Add("\x05");
        list.Add("P|||" + id + "\r");
        list.Add("\x04");
    }

    TempRoot root;
    QString folder = root.driveC("TCA/DATA/");
    QStringList logged;
};

} // namespace

TEST_F(StoredRelayListTest, WhatWasNotSentComesBackAfterARestart) {
    {
        auto list = open();
        EXPECT_EQ(list->Load(), 0);
        addMessage(*list, "P1");
        addMessage(*list, "P2");
        addMessage(*list, "P3");
        for (int i = 0; i < 3; ++i)
            list->DeleteFirst(); // P1 was sent
    }
    auto list = open();
    ASSERT_EQ(list->Load(), 6);
    EXPECT_EQ(list->Entry(0), "\x05");
    EXPECT_TRUE(list->Entry(1).contains("P|1||P2\r"));
    EXPECT_TRUE(list->Entry(4).contains("P|1||P3\r"));
    addMessage(*list, "P4");
    list->Clear();
    auto again = open();
    EXPECT_EQ(again->Load(), 0) << "an emptied queue stays empty";
}

TEST_F(StoredRelayListTest, TheOldestMessagesOverflowIntoADatedFile) {
    auto list = open(7);
    list->Load();
    for (int i = 1; i <= 4; ++i)
        addMessage(*list, "P" + QByteArray::number(i));
    // The front message may be on its way: P2 and P3 make room, P1 and P4 stay.
    ASSERT_EQ(list->Count(), 6);
    EXPECT_TRUE(list->Entry(1).contains("P1"));
    EXPECT_TRUE(list->Entry(4).contains("P4"));
    QFile overflow(list->OverflowPath(QDate(2026, 12, 8)));
    ASSERT_TRUE(overflow.open(QIODevice::ReadOnly));
    const QByteArray moved = overflow.readAll();
    EXPECT_TRUE(moved.contains("P|1||P2\r") && moved.contains("P|1||P3\r"));
    EXPECT_FALSE(moved.contains("P4"));
    ASSERT_EQ(logged.size(), 2);
    EXPECT_TRUE(logged[0].startsWith("The relay queue passed 7 entries; the oldest 1 messages (3 "
                                     "entries) were moved to "))
        << logged[0].toStdString();
    auto restarted = open(7);
    EXPECT_EQ(restarted->Load(), 6) << "the journal knows what overflowed";
}

TEST_F(StoredRelayListTest, TheJournalStaysWithinTheBoundOverALongOutage) {
    auto list = open(30);
    list->Load();
    // A long outage: far more messages than the bound, none sent.
    for (int i = 1; i <= 5000; ++i)
        addMessage(*list, "P" + QByteArray::number(i));
    ASSERT_LE(list->Count(), 30);
    const qint64 journal = QFileInfo(list->JournalPath()).size();
    // What the queue holds, the removals noted since the last rewrite (at most twice the queue
    // and a thousand), and nothing of what went to the overflow file.
    EXPECT_LT(journal, 3 * 1100 * 40) << "journal of " << journal << " bytes";

    auto restarted = open(30);
    EXPECT_EQ(restarted->Load(), list->Count());
    EXPECT_TRUE(restarted->Entry(restarted->Count() - 2).contains("P5000"));
}

TEST_F(StoredRelayListTest, ADamagedJournalKeepsWhatIsWhole) {
    const QByteArray enq = QByteArray("\x05").toBase64();
    const QByteArray frame = QByteArray("\x02"
                                        "1P|1||P1\r\x03\r\n")
                                 .toBase64();
    const QByteArray eot = QByteArray("\x04").toBase64();
    const QByteArray message = "A " + enq + "\nA " + frame + "\nA " + eot + "\n";
    struct Case {
        const char* what;
        QByteArray journal;
        qsizetype restored;
    } cases[] = {
        {"an overflowing removal", message + "X 4611686018427387904 4611686018427387904\n", 3},
        {"a negative removal", message + "X -1 2\nX 0\n", 3},
        {"an entry that is not base 64", message + "A %%%\n" + message, 6},
        {"an empty entry", "A \n" + message, 3},
        {"a message without its end", "A " + enq + "\nA " + frame + "\n" + message, 3},
        {"a frame without its start", "A " + frame + "\nA " + eot + "\n" + message, 3},
        {"a line cut by a crash", message + "A " + enq.left(1), 3},
        {"text that is no journal", "garbage\n\x01\x02\n" + message, 3},
    };
    for (const Case& test : cases) {
        QDir().mkpath(folder);
        QFile file(folder + StoredRelayList::kJournalName);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(test.journal);
        file.close();
        logged.clear();
        auto list = open();
        EXPECT_EQ(list->Load(), test.restored) << test.what;
        for (qsizetype at = 0; at < list->Count(); at += 3)
            EXPECT_EQ(list->Entry(at), "\x05") << test.what;
        ASSERT_EQ(logged.size(), 1) << test.what;
        EXPECT_TRUE(logged[0].contains("they were skipped")) << logged[0].toStdString();
        auto again = open();
        EXPECT_EQ(again->Load(), test.restored) << "the journal was rewritten: " << test.what;
    }
}

TEST_F(StoredRelayListTest, AFullDiskKeepsTheQueueAndTheJournalCatchesUp) {
    SmallTmpfs disk;
    if (!disk.mounted())
        GTEST_SKIP() << disk.whyNot().toStdString();
    folder = disk.path() + "/";
    auto list = open();
    list->SetJournalRetryMs(0);
    list->Load();
    addMessage(*list, "P1");
    disk.fill();
    for (int i = 2; i <= 200; ++i)
        addMessage(*list, "P" + QByteArray::number(i));
    EXPECT_FALSE(list->JournalWritten());
    EXPECT_EQ(list->Count(), 600) << "the queue keeps every message";
    ASSERT_EQ(logged.size(), 1) << "one line for the outage";
    EXPECT_TRUE(logged[0].contains("cannot be written")) << logged[0].toStdString();
    disk.release();
    list->Maintain();
    EXPECT_TRUE(list->JournalWritten());
    EXPECT_TRUE(logged.last().contains("is written again")) << logged.last().toStdString();
    auto restarted = open();
    EXPECT_EQ(restarted->Load(), 600) << "nothing queued during the outage is lost";
}
