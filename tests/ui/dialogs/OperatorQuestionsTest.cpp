// The message boxes the operator answers: what Enter chooses, and where they open.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include "OperatorQuestions.h"
#include "TfrmNewPatient.h"

namespace {

// Presses Enter on the question box once it is shown; records where it was.
void pressEnterWhenAsked(QRect* shownAt) {
    QTimer::singleShot(0, [shownAt] {
        QWidget* box = QApplication::activeModalWidget();
        ASSERT_NE(box, nullptr);
        *shownAt = box->frameGeometry();
        QTest::keyClick(box, Qt::Key_Return);
        // A failed expectation must not leave the box waiting for a person.
        if (box->isVisible())
            static_cast<QMessageBox*>(box)->reject();
    });
}

} // namespace

TEST(OperatorQuestions, EnterChoosesTheDefaultAndTheBoxOpensOverItsWindow) {
    QWidget window;
    window.setGeometry(30, 20, 740, 560);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const struct {
        QMessageBox::StandardButtons buttons;
        QMessageBox::StandardButton defaultButton;
    } cases[] = {
        {QMessageBox::Yes | QMessageBox::No, QMessageBox::No},
        {QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes},
        {QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Cancel},
    };
    MessageBoxQuestions questions;
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.defaultButton));
        QRect shownAt;
        pressEnterWhenAsked(&shownAt);
        EXPECT_EQ(questions.ask(&window, QStringLiteral("Confirm"), QStringLiteral("Sure?"),
                                c.buttons, c.defaultButton),
                  c.defaultButton);
        const QPoint offset = shownAt.center() - window.frameGeometry().center();
        EXPECT_LE(offset.manhattanLength(), 4) << offset.x() << "," << offset.y();
    }
}

TEST(OperatorQuestions, TheNewPatientWindowOpensOverTheMainWindow) {
    QWidget window;
    window.setGeometry(40, 30, 720, 520); // within the 800 x 600 offscreen screen
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    TfrmNewPatient announcement(&window);
    announcement.showCreated(QStringLiteral("Created: P1 (Ada Berg) - /data/P1/"));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&announcement));
    const QPoint offset = announcement.frameGeometry().center() - window.frameGeometry().center();
    EXPECT_LE(offset.manhattanLength(), 4) << offset.x() << "," << offset.y();
}
