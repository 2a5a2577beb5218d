// What the report queue remembers of the results it took, across restarts.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "ReportQueue.h"

namespace {

constexpr qint64 kTime = 1796724930000; // 2026-12-08 10:15:30 UTC
const QByteArray kMessage = "MSH|^~\\&|TarvoCollect\r";

ReportQueue queueIn(const QTemporaryDir& folder) {
    return ReportQueue(folder.path() + u'/', 1000, {}, [] { return QDate(2026, 12, 8); });
}

struct TakenCase {
    const char* what;
    QString series;
    qint64 time;
    QString value;
    bool taken;
};

} // namespace

TEST(ReportQueueTest, OnlyTheResultsTakenCountAsTakenAfterEveryKindOfRestart) {
    QTemporaryDir folder;
    const QString glucose = QStringLiteral("P1\x1eGlucose\x1e"
                                           "CNS\x1e"
                                           "0");
    const QString events = QStringLiteral("P1\x1e"
                                          "Events");
    {
        ReportQueue queue = queueIn(folder);
        ASSERT_EQ(queue.Load(), 0);
        ASSERT_TRUE(queue.Add(glucose, kTime, QStringLiteral("4.25"), queue.NextControlId(kTime),
                              kMessage));
        ASSERT_TRUE(queue.Add(glucose, kTime - 60000, QStringLiteral("3.5"),
                              queue.NextControlId(kTime), kMessage));
        ASSERT_TRUE(queue.Add(events, kTime, QStringLiteral("Catheter moved\n| 2 cm"),
                              queue.NextControlId(kTime), kMessage));
        EXPECT_FALSE(
            queue.Add(glucose, kTime, QStringLiteral("4.25"), QStringLiteral("1"), kMessage));
        EXPECT_EQ(queue.Count(), 3);
    }
    const std::vector<TakenCase> cases = {
        {"the latest result", glucose, kTime, "4.25", true},
        {"a result dated before it", glucose, kTime - 60000, "3.5", true},
        {"the event", events, kTime, "Catheter moved\n| 2 cm", true},
        {"another value at a time taken", glucose, kTime, "4.5", false},
        {"a time between the two", glucose, kTime - 30000, "4.25", false},
        {"a time before both", glucose, kTime - 120000, "3.5", false},
        {"another series",
         QStringLiteral("P2\x1eGlucose\x1e"
                        "CNS\x1e"
                        "0"),
         kTime, "4.25", false},
        {"another event text", events, kTime, "Catheter moved", false},
    };
    // Restarted with the entries in the journal, then (all acknowledged) from the state the
    // journal was rewritten with.
    for (const char* restart : {"entries", "state"}) {
        ReportQueue queue = queueIn(folder);
        queue.Load();
        for (const TakenCase& test : cases)
            EXPECT_EQ(queue.Taken(test.series, test.time, test.value), test.taken)
                << restart << ": " << test.what;
        EXPECT_EQ(queue.TakenCount(), 3) << restart;
        while (queue.Count() > 0)
            queue.RemoveFront();
    }
}

TEST(ReportQueueTest, AJournalThatKeptOnlyTheLastTimeOfASeriesIsReadAsThat) {
    QTemporaryDir folder;
    const QByteArray series = "P1\x1eGlucose\x1e"
                              "CNS\x1e"
                              "0";
    const QByteArray state =
        "1796720130000007\n" + QByteArray::number(kTime) + '\t' + series + '\n';
    const QByteArray entry = series + '\x1f' + QByteArray::number(kTime + 1000) +
                             "\x1f"
                             "1796720130000009\n" +
                             kMessage;
    QFile journal(folder.filePath(QLatin1String(ReportQueue::kJournalName)));
    ASSERT_TRUE(journal.open(QIODevice::WriteOnly));
    journal.write("S " + state.toBase64() + "\nA " + entry.toBase64() + '\n');
    journal.close();

    ReportQueue queue = queueIn(folder);
    ASSERT_EQ(queue.Load(), 1);
    EXPECT_EQ(queue.FrontControlId(), "1796720130000009");
    EXPECT_EQ(queue.FrontMessage(), kMessage);
    EXPECT_TRUE(queue.Taken(QString::fromUtf8(series), kTime - 60000, QStringLiteral("1")));
    EXPECT_TRUE(queue.Taken(QString::fromUtf8(series), kTime + 1000, QStringLiteral("2")));
    EXPECT_FALSE(queue.Taken(QString::fromUtf8(series), kTime + 2000, QStringLiteral("2")));
    EXPECT_GT(queue.NextControlId(0).toULongLong(), 1796720130000009ULL);
}

TEST(ReportQueueTest, PastItsLimitTheQueueForgetsTheEarliestSampledResultsWithALogLine) {
    QTemporaryDir folder;
    QStringList lines;
    const auto queueWithLog = [&] {
        return ReportQueue(
            folder.path() + u'/', 1000, [&](const QString& line, LogSeverity) { lines << line; },
            [] { return QDate(2026, 12, 8); });
    };
    const auto series = [](int i) {
        return QStringLiteral("P%1\x1eLactate\x1e"
                              "CNS\x1e"
                              "0")
            .arg(i % 2);
    };
    const auto time = [](int i) {
        return kTime + i * 1000;
    };
    {
        ReportQueue queue = queueWithLog();
        queue.SetTakenLimit(40);
        queue.Load();
        // The 46th result passes the limit and its eighth: the six sampled earliest go.
        for (int i = 45; i >= 0; --i)
            ASSERT_TRUE(queue.Add(series(i), time(i), QString::number(i), queue.NextControlId(0),
                                  kMessage));
        EXPECT_EQ(queue.TakenCount(), 40);
        EXPECT_FALSE(queue.Taken(series(5), time(5), QStringLiteral("5")));
        EXPECT_TRUE(queue.Taken(series(6), time(6), QStringLiteral("6")));
        EXPECT_TRUE(queue.Taken(series(45), time(45), QStringLiteral("45")));
        ASSERT_EQ(lines.size(), 1);
        EXPECT_TRUE(lines.front().contains(QLatin1String("the 6 sampled up to"))) << lines.front().toStdString();
    }
    ReportQueue queue = queueWithLog();
    queue.SetTakenLimit(40);
    EXPECT_EQ(queue.Load(), 46);
    EXPECT_EQ(queue.TakenCount(), 40) << "what was forgotten stays forgotten";
    EXPECT_TRUE(queue.Taken(series(6), time(6), QStringLiteral("6")));
    EXPECT_FALSE(queue.Taken(series(0), time(0), QStringLiteral("0")));
}
