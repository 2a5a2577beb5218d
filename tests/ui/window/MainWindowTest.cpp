// The main window over a running collector: what each collection state shows, hiding to the
// notification area, the value grid when the window is resized, and the patient list's menu.
#include "WindowFixture.h"

namespace {

using MainWindow = WindowFixture;

TEST_F(MainWindow, ShowsAsDesignedUntilTheCollectorSaysOtherwise) {
    open();
    EXPECT_EQ(window->size(), QSize(982, 613));
    EXPECT_EQ(panel().height(), 233);
    EXPECT_EQ(window->windowTitle(), (*collector)->status().caption())
        << "the status caption replaces the designed one";
    EXPECT_EQ(label("LabelMonitor")->text(), "Tarvo Monitor");
    EXPECT_EQ(label("lblMonitoringNetworkStore")->text(), "Monitoring: ");
    EXPECT_EQ(label("lblUpdatingFromPatientID")->text(), "Update from: ");
    EXPECT_TRUE(label("lblPatient")->text().isEmpty());
    EXPECT_TRUE(label("LabelParameter")->text().isEmpty());
    EXPECT_FALSE(label("lblNoNetwork")->isVisible());
    EXPECT_FALSE(control<QGroupBox>("gbConnectedDataClients")->isVisible())
        << "no connection to list yet";
    EXPECT_FALSE(button("BitBtnClose")->isVisible());
    EXPECT_EQ(window->patientList()->item(0)->text(), "Patients");
    EXPECT_EQ(window->patientList()->height(), TfrmCollectData::kPatientListHeight);

    emit(*collector)->monitoringTextChanged(QStringLiteral("Monitoring: /data"));
    EXPECT_EQ(label("lblMonitoringNetworkStore")->text(), "Monitoring: /data");
    emit(*collector)->updateTextChanged(QStringLiteral("Update from: P1"));
    EXPECT_EQ(label("lblUpdatingFromPatientID")->text(), "Update from: P1");

    connectAnalyzer();
    EXPECT_TRUE(control<QGroupBox>("gbConnectedDataClients")->isVisible());
    EXPECT_EQ(control<QGroupBox>("gbConnectedDataClients")->width(), 982 - 700);
    ASSERT_EQ(control<QListWidget>("ListBoxConnectedClients")->count(), 1);
    EXPECT_TRUE(
        control<QListWidget>("ListBoxConnectedClients")->item(0)->text().startsWith("TARVO: "));
}

TEST_F(MainWindow, EachCollectionStateSetsButtonsAnimationAndTray) {
    open();
    // Offline.
    EXPECT_FALSE(button("btnStart")->isEnabled());
    EXPECT_TRUE(button("btnStart")->isVisible());
    EXPECT_FALSE(button("btnStop")->isVisible());
    EXPECT_FALSE(button("btnHide")->isEnabled());
    EXPECT_TRUE(button("btnServerSelect")->isVisible());
    EXPECT_EQ(animation().currentFrame(), 1);
    EXPECT_FALSE(animation().isPlaying());
    EXPECT_FALSE(tray->shown) << "the shown window stands for itself";

    QTcpSocket& analyzer = connectAnalyzer();
    (void)analyzer;
    ASSERT_EQ((*collector)->state().collection, CollectionState::Ready);
    EXPECT_TRUE(button("btnStart")->isEnabled());
    EXPECT_FALSE(button("btnHide")->isEnabled());
    EXPECT_EQ(animation().currentFrame(), 2);
    EXPECT_FALSE(animation().isPlaying());
    EXPECT_FALSE(tray->shown);

    QTest::mouseClick(button("btnStart"), Qt::LeftButton);
    ASSERT_EQ((*collector)->state().collection, CollectionState::Collecting);
    EXPECT_FALSE(button("btnStart")->isVisible());
    EXPECT_TRUE(button("btnStop")->isVisible());
    EXPECT_TRUE(button("btnHide")->isEnabled());
    EXPECT_FALSE(button("btnServerSelect")->isVisible());
    EXPECT_TRUE(animation().isPlaying());
    QSignalSpy frames(&animation(), &ConnectionAnimation::frameChanged);
    ASSERT_TRUE(waitUntil([&] { return frames.count() >= 12; }));
    for (const QList<QVariant>& frame : frames) {
        EXPECT_GE(frame.at(0).toInt(), 3);
        EXPECT_LE(frame.at(0).toInt(), 13);
    }
    EXPECT_TRUE(tray->shown);
    EXPECT_EQ(tray->tip, "Collecting Tarvo Monitor Data");

    disconnectAnalyzers();
    ASSERT_EQ((*collector)->state().collection, CollectionState::CollectingOffline);
    EXPECT_EQ(animation().currentFrame(), 1);
    EXPECT_FALSE(animation().isPlaying());
    EXPECT_FALSE(tray->shown);
    EXPECT_FALSE(button("btnHide")->isEnabled());
    EXPECT_TRUE(button("btnStop")->isVisible()) << "still collecting";
    EXPECT_TRUE(window->isVisible());

    connectAnalyzer();
    QTest::mouseClick(button("btnStop"), Qt::LeftButton);
    EXPECT_EQ((*collector)->state().collection, CollectionState::Ready);
    EXPECT_TRUE(button("btnStart")->isVisible());
    EXPECT_FALSE(button("btnStop")->isVisible());
}

TEST_F(MainWindow, HideGoesToTheTrayAndAClickBringsTheWindowBack) {
    open();
    connectAnalyzer();
    QTest::mouseClick(button("btnStart"), Qt::LeftButton);
    QTest::mouseClick(button("btnHide"), Qt::LeftButton);
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(animation().isPlaying()) << "Hide stops the animation";
    EXPECT_TRUE(tray->shown);

    tray->click();
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(animation().isPlaying()) << "showing applies the state again";
    EXPECT_FALSE(collector->logged(TfrmCollectData::kMinimisedInstead));
}

TEST_F(MainWindow, WithoutANotificationAreaHideMinimisesInstead) {
    trayAvailable = false;
    open();
    connectAnalyzer();
    QTest::mouseClick(button("btnStart"), Qt::LeftButton);
    QTest::mouseClick(button("btnHide"), Qt::LeftButton);
    EXPECT_TRUE(window->isVisible()) << "a hidden window could not be reached again";
    EXPECT_TRUE(window->isMinimized());
    EXPECT_EQ(collector->loggedCount(TfrmCollectData::kMinimisedInstead), 1);
}

TEST_F(MainWindow, TheTrayIconStaysWhileTheWindowIsHidden) {
    open();
    connectAnalyzer();
    QTest::mouseClick(button("btnStart"), Qt::LeftButton);
    QTest::mouseClick(button("btnHide"), Qt::LeftButton);
    ASSERT_FALSE(window->isVisible());
    control().stop(); // from an operator command, or the automation server
    EXPECT_TRUE(tray->shown) << "the icon is the only way back to the hidden window";
    tray->click();
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(tray->shown) << "Ready has no icon once the window is back";
}

TEST_F(MainWindow, AGridThatLosesACellSaysMoreValuesAndKeepsThePatientInView) {
    open();
    QTcpSocket& analyzer = connectAnalyzer();
    sendValue(analyzer, QStringLiteral("P1"), QStringLiteral("Glucose"), 2.5);
    const LatestValueGrid& grid = (*collector)->latestValues();
    ASSERT_EQ(grid.Columns(), 3);
    EXPECT_EQ(window->valueGrid()->item(0, 0)->text(), "P1");
    const int rows = grid.Rows();
    EXPECT_GE(rows, 5);
    const QString names[] = {"P1", "Åsa", "Öberg"};
    const struct {
        int width;
        int columns;
        bool noteShown; // "More values >>" under the grid
        int markerCell; // the header cell that says it (-1: none)
        int groupWidth; // the "Connections" group: window width - 700
    } steps[] = {{700, 2, true, -1, 0},
                 {982, 3, false, -1, 282},
                 {1500, 5, false, -1, 800},
                 {1200, 4, false, 3, 500},
                 {982, 3, true, -1, 282}};
    for (const auto& step : steps) {
        SCOPED_TRACE(step.width);
        window->resize(step.width, 613);
        ASSERT_TRUE(waitUntil([&] { return grid.Columns() == step.columns; }));
        EXPECT_EQ(window->valueGrid()->columnCount(), step.columns);
        for (int column = 0; column < std::min(step.columns, 3); ++column) {
            EXPECT_EQ(grid.Cell(column, 0), names[column]);
            EXPECT_EQ(window->valueGrid()->item(0, column)->text(), names[column]);
        }
        for (int column = 3; column < step.columns; ++column)
            EXPECT_EQ(grid.Cell(column, 0) == "More values >>", column == step.markerCell);
        const auto* note = window->findChild<QLabel*>(QStringLiteral("lblMoreValues"));
        ASSERT_NE(note, nullptr);
        EXPECT_TRUE(waitUntil([&] { return note->isVisible() == step.noteShown; }));
        EXPECT_EQ(note->text(), "More values >>");
        if (step.noteShown) {
            const QRect inWindow(note->mapTo(window.get(), QPoint(0, 0)), note->size());
            const QRect gridInWindow(window->valueGrid()->mapTo(window.get(), QPoint(0, 0)),
                                     window->valueGrid()->size());
            EXPECT_FALSE(inWindow.intersects(gridInWindow)) << "it covers no cell";
        }
        if (step.noteShown)
            EXPECT_GE(grid.Rows(), rows - 1) << "the note takes at most a row";
        else
            EXPECT_TRUE(waitUntil([&] { return grid.Rows() == rows; })) << grid.Rows();
        EXPECT_EQ(control<QGroupBox>("gbConnectedDataClients")->width(), step.groupWidth);
    }
    // The note speaks of the grid: not on the trend page.
    auto* pages = window->findChild<QTabWidget*>(QStringLiteral("LowerPages"));
    ASSERT_NE(pages, nullptr);
    const auto* note = window->findChild<QLabel*>(QStringLiteral("lblMoreValues"));
    pages->setCurrentIndex(1);
    EXPECT_FALSE(note->isVisible());
    pages->setCurrentIndex(0);
    EXPECT_TRUE(note->isVisible());
}

TEST_F(MainWindow, DoubleClickOnTheGridFoldsThePatientListAwayAndBack) {
    open();
    QTest::mouseDClick(window->valueGrid()->viewport(), Qt::LeftButton);
    EXPECT_EQ(window->patientList()->height(), 0);
    const int rowsWithoutList = (*collector)->latestValues().Rows();
    EXPECT_GT(rowsWithoutList, 6) << "the grid takes the room";
    QTest::mouseDClick(window->valueGrid()->viewport(), Qt::LeftButton);
    EXPECT_EQ(window->patientList()->height(), TfrmCollectData::kPatientListHeight);
}

TEST_F(MainWindow, AClickClearsTheLatestValueLabelsUntilTheNextValue) {
    open();
    QTcpSocket& analyzer = connectAnalyzer();
    sendValue(analyzer, QStringLiteral("P1"), QStringLiteral("Glucose"), 2.5);
    EXPECT_EQ(label("lblPatient")->text(), "P1 Åsa Öberg");
    EXPECT_TRUE(label("LabelParameter")->text().startsWith("Glucose CNS = 2.50"));

    QTest::mouseClick(label("lblPatient"), Qt::LeftButton);
    QTest::mouseClick(label("LabelParameter"), Qt::LeftButton);
    EXPECT_TRUE(label("lblPatient")->text().isEmpty());
    EXPECT_TRUE(label("LabelParameter")->text().isEmpty());

    sendValue(analyzer, QStringLiteral("P1"), QStringLiteral("Lactate"), 1.25);
    EXPECT_EQ(label("lblPatient")->text(), "P1 Åsa Öberg");
    EXPECT_TRUE(label("LabelParameter")->text().startsWith("Lactate CNS = 1.25"));
}

TEST_F(MainWindow, TheMenuOffersWhatTheRowAllows) {
    open();
    QTcpSocket& analyzer = connectAnalyzer();
    sendValue(analyzer, QStringLiteral("P1"), QStringLiteral("Glucose"), 2.5);
    PatientListView& list = *window->patientList();
    ASSERT_EQ(list.count(), 2);
    EXPECT_EQ(list.item(1)->text(), "P1, Åsa Öberg");
    EXPECT_TRUE(list.mediaDriveAction()->text().startsWith("Set External Media Drive"));

    list.setCurrentRow(1); // a patient that is sending
    EXPECT_FALSE(list.deleteAction()->isEnabled());
    EXPECT_TRUE(list.recreateAction()->isEnabled()) << "the XML protocol";
    EXPECT_TRUE(list.importAction()->isEnabled());

    list.setCurrentRow(0); // the header
    EXPECT_FALSE(list.deleteAction()->isEnabled());
    EXPECT_TRUE(list.recreateAction()->isEnabled());
    EXPECT_TRUE(list.importAction()->isEnabled());

    disconnectAnalyzers(); // every row is disabled when the link is gone
    list.setCurrentRow(1);
    EXPECT_TRUE(list.deleteAction()->isEnabled()) << "a patient that is not sending";
    list.deleteAction()->trigger();
    EXPECT_EQ(list.count(), 1);
    EXPECT_EQ((*collector)->patients().Count(), 0);
}

TEST_F(MainWindow, TheMenuOfALineProtocolOffersNoRebuildOnAPatientRow) {
    open(QStringLiteral("CommunicationProtocol=HL7\n"));
    QTcpSocket& analyzer = connectAnalyzer();
    const QString records = SimulatedMessages::recordMessage(
        {QStringLiteral("P2"), QStringLiteral("Per"), QStringLiteral("Son")},
        QStringLiteral("Glucose"), 3.0, QStringLiteral("mmol/L"), QDateTime::currentDateTime());
    ASSERT_TRUE(collector->send(analyzer, records.toLatin1()));
    PatientListView& list = *window->patientList();
    ASSERT_TRUE(waitUntil([&] { return list.count() == 2; }));
    list.setCurrentRow(1);
    EXPECT_FALSE(list.recreateAction()->isEnabled());
    EXPECT_FALSE(list.importAction()->isEnabled());
    list.setCurrentRow(0);
    EXPECT_TRUE(list.recreateAction()->isEnabled()) << "the header always offers both";
}

TEST_F(MainWindow, TickingAPatientCreatesItsRecordAndAnnouncesIt) {
    open(QStringLiteral("AutoCreate=dword:0\n"));
    QTcpSocket& analyzer = connectAnalyzer();
    sendValue(analyzer, QStringLiteral("P3"), QStringLiteral("Glucose"), 4.0);
    PatientListView& list = *window->patientList();
    ASSERT_EQ(list.count(), 2);
    ASSERT_EQ(list.item(1)->checkState(), Qt::Unchecked);
    list.item(1)->setCheckState(Qt::Checked);
    EXPECT_TRUE((*collector)->patients().At(0).Checked);
    EXPECT_TRUE(QFileInfo::exists(collector->patientFolder("P3") + "Patient"));
    EXPECT_TRUE(window->newPatientWindow().isVisible());
    EXPECT_TRUE(window->newPatientWindow().statusText().startsWith("Created: P3"));
}

} // namespace
