// Closing the main window: hidden, while collecting from a connected analyzer, with the
// operator's answer, at the end of the desktop session and from the close button.
#include "WindowFixture.h"

namespace {

using WindowClose = WindowFixture;

const QString kQuestion = QStringLiteral("Confirm: Do you really want to close");

TEST_F(WindowClose, AskedNoTheWindowStaysAskedYesTheCollectorCloses) {
    open();
    QSignalSpy closed(window.get(), &TfrmCollectData::closed);
    questions.answers = {QMessageBox::No};
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(questions.asked, QStringList{kQuestion});
    EXPECT_EQ(questions.defaults, QList{QMessageBox::No}) << "Enter alone does not close";
    EXPECT_EQ(closed.count(), 0);
    EXPECT_TRUE((*collector)->analyzerServer().Active());

    questions.answers = {QMessageBox::Yes};
    EXPECT_TRUE(window->close());
    EXPECT_EQ(questions.asked, (QStringList{kQuestion, kQuestion}));
    EXPECT_EQ(closed.count(), 1);
    EXPECT_FALSE((*collector)->analyzerServer().Active()) << "the collector's closing steps ran";
    collector.reset(); // closes the collector once more, as the end of the program does
}

TEST_F(WindowClose, ClosingApplicationIsLoggedOnce) {
    open();
    questions.answers = {QMessageBox::Yes};
    ASSERT_TRUE(window->close());
    (*collector)->close();
    EXPECT_EQ(collector->loggedCount("Closing application"), 1);
}

TEST_F(WindowClose, AHiddenWindowClosesWithoutAQuestion) {
    open();
    QSignalSpy closed(window.get(), &TfrmCollectData::closed);
    window->hide();
    EXPECT_TRUE(window->close());
    EXPECT_TRUE(questions.asked.isEmpty());
    EXPECT_EQ(closed.count(), 1);
}

TEST_F(WindowClose, CollectingFromAConnectedAnalyzerHidesToTheTrayInstead) {
    open();
    connectAnalyzer();
    QTest::mouseClick(button("btnStart"), Qt::LeftButton);
    QSignalSpy closed(window.get(), &TfrmCollectData::closed);
    EXPECT_FALSE(window->close());
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(tray->shown);
    EXPECT_TRUE(questions.asked.isEmpty());
    EXPECT_EQ(closed.count(), 0);
    EXPECT_TRUE((*collector)->analyzerServer().Active()) << "collection goes on";
}

TEST_F(WindowClose, CollectingWithoutAnAnalyzerAsks) {
    open();
    connectAnalyzer();
    QTest::mouseClick(button("btnStart"), Qt::LeftButton);
    disconnectAnalyzers();
    questions.answers = {QMessageBox::No};
    EXPECT_FALSE(window->close());
    EXPECT_EQ(questions.asked, QStringList{kQuestion});
    EXPECT_TRUE(window->isVisible());
}

TEST_F(WindowClose, TheEndOfTheSessionClosesWithoutAQuestion) {
    open();
    QSignalSpy closed(window.get(), &TfrmCollectData::closed);
    window->endSession();
    EXPECT_TRUE(questions.asked.isEmpty());
    EXPECT_EQ(closed.count(), 1);
    EXPECT_FALSE(window->isVisible());
}

TEST_F(WindowClose, TheEndOfTheSessionClosesEvenWhileCollectingFromAnAnalyzer) {
    open();
    connectAnalyzer();
    QTest::mouseClick(button("btnStart"), Qt::LeftButton);
    QSignalSpy closed(window.get(), &TfrmCollectData::closed);
    window->endSession();
    EXPECT_EQ(closed.count(), 1) << "refusing would leave a program that cannot be ended";
    EXPECT_FALSE((*collector)->analyzerServer().Active());
}

TEST_F(WindowClose, TheCloseButtonAsksOnceAndCloses) {
    open();
    QSignalSpy closed(window.get(), &TfrmCollectData::closed);
    questions.answers = {QMessageBox::Yes};
    window->closeWithConfirmation();
    ASSERT_TRUE(closed.wait(5000));
    EXPECT_EQ(questions.asked, QStringList{kQuestion}) << "the answer is remembered";
    EXPECT_EQ(questions.defaults, QList{QMessageBox::No});
}

} // namespace
