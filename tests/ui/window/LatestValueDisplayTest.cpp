// What the window shows of the latest value: whole at every size, with the time it was
// measured, greyed once old; and the lost analyzer link said in words.
#include <QFontMetrics>

#include "PatientTrendView.h"
#include "WindowFixture.h"

namespace {

using LatestValueDisplay = WindowFixture;

void settle() {
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
}

// The label shows all of its text: wrapped into its width, it needs no more than its height,
// and it lies inside the panel, clear of the "Connections" group.
void expectWhole(const QLabel& label, const TopPanel& panel) {
    SCOPED_TRACE(label.objectName().toStdString() + ": " + label.text().toStdString());
    const QRect room = label.contentsRect();
    const QRect needed =
        QFontMetrics(label.font())
            .boundingRect(QRect(0, 0, room.width(), 100000), Qt::TextWordWrap, label.text());
    EXPECT_LE(needed.width(), room.width());
    EXPECT_LE(needed.height(), room.height());
    const QRect inPanel(label.mapTo(&panel, QPoint(0, 0)), label.size());
    EXPECT_TRUE(panel.rect().contains(inPanel));
    const auto* connections = panel.findChild<QWidget*>(QStringLiteral("gbConnectedDataClients"));
    ASSERT_NE(connections, nullptr);
    if (connections->isVisible()) {
        EXPECT_LE(inPanel.right(), connections->geometry().left());
    }
}

TEST_F(LatestValueDisplay, TheLongestValueIsWholeAtEverySize) {
    open();
    QTcpSocket& analyzer = connectAnalyzer();
    const QString place = QStringLiteral("Brain Penumbra Left Frontal");
    // The window as designed, a 1024 x 768 screen, a smaller one, and 1280 x 800 and
    // 1024 x 768 at double scale.
    for (const QSize screen :
         {QSize(1280, 800), QSize(1024, 768), QSize(800, 500), QSize(640, 400), QSize(512, 384)}) {
        SCOPED_TRACE(screen.width());
        window->resize(982, 613);
        window->fitInto(QRect(QPoint(0, 0), screen));
        const QSize size = window->size();
        EXPECT_LE(size.width(), screen.width());
        EXPECT_LE(size.height(), screen.height());
        sendValue(analyzer, QStringLiteral("19640321-2245"), QStringLiteral("Glutamate"),
                  118.25 + screen.width(), place);
        settle();
        ASSERT_TRUE(label("LabelParameter")->text().contains(place));
        expectWhole(*label("LabelParameter"), panel());
        expectWhole(*label("lblPatient"), panel());
        expectWhole(*label("lblTime"), panel());
        // The grid's column is as wide as the value.
        const ValueGridView& grid = *window->valueGrid();
        const QTableWidgetItem* cell = grid.item(1, 0);
        ASSERT_NE(cell, nullptr);
        EXPECT_TRUE(cell->text().contains(place));
        EXPECT_GE(grid.columnWidth(0), QFontMetrics(grid.font()).horizontalAdvance(cell->text()));
        EXPECT_LE(window->panel()->height(), size.height() / 2) << "room is left for the patients";
        // The patient list keeps its header and a patient's row in view.
        const PatientListView& list = *window->patientList();
        EXPECT_GE(list.viewport()->height(), 2 * list.sizeHintForRow(0));
        // The grid keeps its header row and a value in view.
        EXPECT_GE(ValueGridView::rowsFor(grid.viewport()->height()), 2);
    }
}

TEST_F(LatestValueDisplay, TheTimeOfTheValueIsShownAndAnOldValueIsGreyed) {
    open();
    QTcpSocket& analyzer = connectAnalyzer();
    const struct {
        int minutesAgo;
        bool old;
    } cases[] = {{2, false}, {40, true}, {1, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.minutesAgo);
        const QDateTime measured = QDateTime::currentDateTime().addSecs(-60 * c.minutesAgo);
        sendValue(analyzer, QStringLiteral("P1"), QStringLiteral("Glucose"), 5.0 + c.minutesAgo,
                  QStringLiteral("CNS"), measured);
        const QString clock = measured.toString(QStringLiteral("HH:mm"));
        EXPECT_TRUE(label("lblTime")->text().contains(clock))
            << label("lblTime")->text().toStdString();
        EXPECT_EQ(label("lblTime")->text().contains(QStringLiteral("(40 min ago)")), c.old);
        EXPECT_EQ(!label("LabelParameter")->styleSheet().isEmpty(), c.old) << "greyed";
        const QTableWidgetItem* cell = window->valueGrid()->item(1, 0);
        ASSERT_NE(cell, nullptr);
        EXPECT_TRUE(cell->text().startsWith(label("LabelParameter")->text()));
        EXPECT_TRUE(cell->text().contains(clock));
        EXPECT_EQ(cell->foreground().color() != window->valueGrid()->palette().text().color(),
                  c.old);
    }
}

TEST_F(LatestValueDisplay, ALostLinkIsSaidInWordsUntilAnAnalyzerIsBack) {
    for (const bool hidden : {false, true}) {
        SCOPED_TRACE(hidden ? "window hidden" : "window shown");
        open();
        QTcpSocket& analyzer = connectAnalyzer();
        sendValue(analyzer, QStringLiteral("P1"), QStringLiteral("Glucose"), 5.0);
        QTest::mouseClick(button("btnStart"), Qt::LeftButton);
        if (hidden) {
            QTest::mouseClick(button("btnHide"), Qt::LeftButton);
            ASSERT_FALSE(window->isVisible());
        }
        EXPECT_FALSE(label("lblLinkLost")->isVisible());

        const QString said = QLatin1String(TfrmCollectData::kLinkLost);
        const int before = collector->loggedCount(said); // the first round's line
        disconnectAnalyzers();
        EXPECT_TRUE(window->isVisible());
        EXPECT_TRUE(label("lblLinkLost")->isVisible());
        EXPECT_TRUE(label("lblLinkLost")->text().startsWith(said));
        EXPECT_EQ(collector->loggedCount(said), before + 1);
        EXPECT_EQ(tray->messages.size(), hidden ? 1 : 0);
        tick();
        EXPECT_EQ(collector->loggedCount(said), before + 1) << "said once";

        connectAnalyzer();
        EXPECT_FALSE(label("lblLinkLost")->isVisible());
        TearDown();
        tray = nullptr;
    }
}

TEST_F(LatestValueDisplay, TheChosenRowIsThePatientOfLabelsGridAndTrend) {
    open();
    QTcpSocket& analyzer = connectAnalyzer();
    sendValue(analyzer, QStringLiteral("P1"), QStringLiteral("Lactate"), 2.5);
    sendValue(analyzer, QStringLiteral("P2"), QStringLiteral("Glucose"), 6.5);
    PatientListView& list = *window->patientList();
    ASSERT_EQ(list.count(), 3);
    const struct {
        const char* chosen; // the patient whose row is selected (null: a new value arrives)
        const char* shown;
        const char* value;
    } steps[] = {{nullptr, "P2", "Glucose"},
                 {"P1", "P1", "Lactate"},
                 {"P2", "P2", "Glucose"},
                 {"P1", "P1", "Lactate"}};
    for (const auto& step : steps) {
        SCOPED_TRACE(step.shown);
        if (step.chosen != nullptr)
            list.setCurrentRow((*collector)->patients().IndexOf(QLatin1String(step.chosen)) + 1);
        const QString id = QLatin1String(step.shown);
        const int row = (*collector)->patients().IndexOf(id) + 1;
        EXPECT_EQ(list.currentRow(), row) << "the highlighted row";
        EXPECT_TRUE(label("lblPatient")->text().startsWith(id + u' '));
        EXPECT_TRUE(label("LabelParameter")->text().startsWith(QLatin1String(step.value)));
        ASSERT_NE(window->valueGrid()->item(0, 0), nullptr);
        EXPECT_EQ(window->valueGrid()->item(0, 0)->text(), id);
        ASSERT_NE(window->valueGrid()->item(1, 0), nullptr);
        EXPECT_TRUE(window->valueGrid()->item(1, 0)->text().startsWith(QLatin1String(step.value)));
        EXPECT_EQ(window->valueGrid()->item(2, 0), nullptr) << "no value of the other patient";
        EXPECT_TRUE(window->trendView()->patientName().startsWith(id + u' '));
        EXPECT_EQ(QDir(window->trendView()->patientFile()).absolutePath(),
                  QDir(collector->patientFolder(id) + "Tarvo.pil").absolutePath());
    }
    // A new value shows its patient again.
    sendValue(analyzer, QStringLiteral("P2"), QStringLiteral("Glucose"), 6.8);
    EXPECT_EQ(list.currentRow(), (*collector)->patients().IndexOf(QStringLiteral("P2")) + 1);
    EXPECT_EQ(window->valueGrid()->item(0, 0)->text(), "P2");
}

} // namespace
