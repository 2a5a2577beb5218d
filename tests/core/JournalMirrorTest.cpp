#include <cstdio>
#include <memory>

#include <gtest/gtest.h>

#include "Clock.h"
#include "EventLog.h"
#include "JournalMirror.h"
#include "TempRoot.h"

namespace {

const QDateTime kAfternoon(QDate(2026, 12, 8), QTime(14, 3, 9));
const QLocale kSwedish(QLocale::Swedish, QLocale::Sweden);

// A stream standing in for standard error, read back by the test.
class CapturedStream {
public:
    CapturedStream() : m_file(std::tmpfile(), &std::fclose) {}
    std::FILE* get() const { return m_file.get(); }
    QByteArray text() const {
        std::rewind(m_file.get());
        QByteArray bytes;
        char buffer[4096];
        size_t read = 0;
        while ((read = std::fread(buffer, 1, sizeof buffer, m_file.get())) > 0)
            bytes.append(buffer, qsizetype(read));
        return bytes;
    }

private:
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> m_file;
};

class JournalMirrorTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(stream.get(), nullptr);
        log.open(root.driveC("TEMP/"));
        log.setMirror([this](const QString& message, const QString& line, LogSeverity severity) {
            mirror.write(message, line, severity);
        });
    }

    TempRoot root;
    ManualClock clock{kAfternoon};
    EventLog log{clock, kSwedish};
    CapturedStream stream;
    JournalMirror mirror{stream.get()};
};

} // namespace

TEST_F(JournalMirrorTest, EachLineKeepsTheSeverityItWasLoggedWith) {
    // The severity decides, not the text: a line that only looks like a failure is information.
    log.writeLog(QString());
    log.writeLog(QStringLiteral("Opening application /usr/bin/tarvo-collect"));
    log.writeError(QStringLiteral("Error(4): Error when trying to set IP port number (in use)"));
    log.writeError(QStringLiteral("Application error: bad allocation"));
    log.writeError(QStringLiteral("Error: Could not create the log folder /srv/x/"));
    log.writeLog(QStringLiteral("Message from 127.0.0.1 not handled (2): Error(3): inside"));
    log.writeWarning(QStringLiteral("AllowedPeers is empty"));
    log.writeExtendedLog(QStringLiteral("Line 3: R|1|^^^Glucose|4.2"));

    EXPECT_EQ(stream.text(),
              QByteArray("<6>2026-12-08 14:03:09 - Opening application /usr/bin/tarvo-collect\n"
                         "<3>2026-12-08 14:03:09 - Error(4): Error when trying to set IP port "
                         "number (in use)\n"
                         "<3>2026-12-08 14:03:09 - Application error: bad allocation\n"
                         "<3>2026-12-08 14:03:09 - Error: Could not create the log folder "
                         "/srv/x/\n"
                         "<6>2026-12-08 14:03:09 - Message from 127.0.0.1 not handled (2): "
                         "Error(3): inside\n"
                         "<4>2026-12-08 14:03:09 - AllowedPeers is empty\n"
                         "<6>2026-12-08 14:03:09 - Line 3: R|1|^^^Glucose|4.2\n"));
    // The files are unchanged by the mirror: the separator line stays in the main log.
    ASSERT_EQ(log.mainLines().size(), 7);
    EXPECT_TRUE(log.mainLines().first().isEmpty());
    EXPECT_EQ(log.extendedLines().size(), 1);
}

TEST_F(JournalMirrorTest, EveryPartOfAMultiLineMessageKeepsItsPriority) {
    log.writeError(QStringLiteral("Error(2): first\nsecond\r\nthird"));
    EXPECT_EQ(stream.text(), QByteArray("<3>2026-12-08 14:03:09 - Error(2): first\n"
                                        "<3>second\n"
                                        "<3>third\n"));
}

TEST_F(JournalMirrorTest, TextIsUtf8WhateverTheFilesHold) {
    log.writeLog(QStringLiteral("Patient Åsa, 5 µmol/L, Ω"));
    EXPECT_EQ(stream.text(),
              QStringLiteral("<6>2026-12-08 14:03:09 - Patient Åsa, 5 µmol/L, Ω\n").toUtf8());
}

TEST(JournalMirrorSwitch, OnWhenAskedOrUnderTheServiceManager) {
    const QByteArray saved = qgetenv(JournalMirror::kServiceVariable);
    qunsetenv(JournalMirror::kServiceVariable);
    EXPECT_FALSE(JournalMirror::wanted(false));
    EXPECT_TRUE(JournalMirror::wanted(true));
    qputenv(JournalMirror::kServiceVariable, "0f5c9a7e2b7d4c8e9a1b2c3d4e5f6a7b");
    EXPECT_TRUE(JournalMirror::wanted(false));
    if (saved.isNull())
        qunsetenv(JournalMirror::kServiceVariable);
    else
        qputenv(JournalMirror::kServiceVariable, saved);
}
