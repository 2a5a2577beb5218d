#include "TfrmCollectData.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QTabBar>
#include <QVBoxLayout>

#include "Collector.h"
#include "ConnectionAnimation.h"
#include "ExternalMediaDriveQuestion.h"
#include "OperatorQuestions.h"
#include "PatientIdentity.h"
#include "PatientList.h"
#include "PatientListView.h"
#include "PatientPicker.h"
#include "PatientTrendView.h"
#include "ProgramIcon.h"
#include "SerialLink.h"
#include "SettingsDialogRunner.h"
#include "TTaskbarIconControler.h"
#include "TarvoError.h"
#include "TfrmNewPatient.h"
#include "TopPanel.h"
#include "ValueAge.h"
#include "ValueGridView.h"

namespace {

QFont sansSerif(int pixels) {
    QFont font(QStringLiteral("Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixels);
    return font;
}

} // namespace

TfrmCollectData::TfrmCollectData(Collector& collector, OperatorQuestions& questions,
                                 std::unique_ptr<TTaskbarIconControler> tray, QWidget* parent)
    : QWidget(parent), m_collector(collector), m_questions(questions), m_tray(std::move(tray)) {
    if (!m_tray)
        m_tray =
            std::make_unique<TTaskbarIconControler>([this](const QString& line) { log(line); });
    m_newPatient = std::make_unique<TfrmNewPatient>(this);
    setObjectName(QStringLiteral("frmCollectData"));
    setWindowTitle(tr(kDesignedCaption));
    setFont(sansSerif(kFontPixels));
    resize(kWidth, kHeight);
    buildControls();
    connectCollector();
    if (!m_collector.status().caption().isEmpty())
        setWindowTitle(m_collector.status().caption());
    m_tray->setIcon(ProgramIcon::ForState(m_collector.state().collection));
    // The icon stands for the program from the start; the first showing applies the state.
    m_tray->Show();
}

TfrmCollectData::~TfrmCollectData() = default;

void TfrmCollectData::fitToScreen() {
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        fitInto(screen->availableGeometry());
}

void TfrmCollectData::fitInto(const QRect& available) {
    // The window frame and title bar take their part of the screen too.
    const QSize room = available.size() - QSize(16, 48);
    if (room.width() <= 0 || room.height() <= 0)
        return;
    const QSize fitting(std::min(width(), room.width()), std::min(height(), room.height()));
    // The panel takes its form for the new size first: as it is now (the "Connections" group
    // of a wide window, the designed height) it would keep the window from shrinking.
    fitPanel(fitting);
    layout()->activate();
    resize(fitting);
    fitPanel();
    splitLowerPart();
    move(available.topLeft() +
         QPoint((available.width() - width()) / 2, (available.height() - height()) / 2));
}

void TfrmCollectData::splitLowerPart() {
    const int lower =
        std::max(height() - m_panel->height() - m_lower->tabBar()->sizeHint().height(), 0);
    // The patient list as designed when the grid keeps a few rows beside it; a small window
    // shares the room evenly.
    const int list = lower - kPatientListHeight >= 4 * ValueGridView::kDefaultRowHeight
                         ? kPatientListHeight
                         : lower / 2;
    m_splitter->setSizes({list, lower - list});
}

void TfrmCollectData::buildControls() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    // The panel's width follows the window's (its "Connections" group takes what the left part
    // leaves): as a minimum size it would keep a wide window from being made narrower.
    layout->setSizeConstraint(QLayout::SetNoConstraint);
    m_panel = new TopPanel(this);
    layout->addWidget(m_panel);

    // Below the panel two pages: the patients with the value grid under them, and the current
    // patient's trend of the last day, which takes the whole page to be readable.
    m_lower = new QTabWidget(this);
    m_lower->setObjectName(QStringLiteral("LowerPages"));
    m_lower->setTabPosition(QTabWidget::South);
    m_lower->setDocumentMode(true);
    layout->addWidget(m_lower, 1);

    m_splitter = new QSplitter(Qt::Vertical, m_lower);
    m_splitter->setObjectName(QStringLiteral("Splitter1"));
    m_splitter->setHandleWidth(kSplitterWidth);
    m_splitter->setChildrenCollapsible(true);

    m_patients = new PatientListView(m_collector.patients(),
                                     m_collector.operational() ? &m_collector.checkList() : nullptr,
                                     m_splitter);
    m_patients->setFont(sansSerif(kPatientListFontPixels));
    m_patients->setMediaDriveCaption(m_collector.state().externalMediaMenuCaption);
    m_splitter->addWidget(m_patients);

    m_grid = new ValueGridView(m_collector.latestValues(), m_splitter);
    m_grid->setFont(sansSerif(kGridFontPixels));
    m_splitter->addWidget(m_grid);
    // A change of the window's height goes to the grid; the list keeps its height.
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 1);
    m_lower->addTab(m_splitter, tr("Patients and values"));
    m_trend = new PatientTrendView(m_lower);
    // Small screens: every part may shrink; the scroll bars and the wrapping labels keep what
    // they hold reachable.
    m_trend->setMinimumSize(1, 1);
    m_lower->addTab(m_trend, tr("Trend (24 hours)"));
    createMoreValuesNote();
    fitPanel();
    splitLowerPart();
    m_grid->viewport()->installEventFilter(this);
    m_ageTimer.setInterval(kAgeRefreshMilliseconds);
    connect(&m_ageTimer, &QTimer::timeout, this, &TfrmCollectData::refreshAges);
    m_ageTimer.start();
}

void TfrmCollectData::createMoreValuesNote() {
    // "More values >>" when the grid's header row has no cell for it besides the patient's
    // names: beside the page tabs under the grid, where it takes no room from the values.
    auto* note = new QLabel(QLatin1String(LatestValueGrid::kMoreValues), m_lower);
    note->setObjectName(QStringLiteral("lblMoreValues"));
    note->setFont(sansSerif(kNotePixels));
    note->setStyleSheet(QStringLiteral("QLabel { font-weight: bold; padding: 0px 8px; }"));
    // The page tabs leave it room in a small window too; short of room they shorten their
    // captions rather than hide one behind scroll buttons.
    m_lower->tabBar()->setFont(sansSerif(kGridFontPixels));
    m_lower->tabBar()->setElideMode(Qt::ElideRight);
    m_lower->setCornerWidget(note, Qt::BottomRightCorner);
    m_grid->setMoreValuesNote(note);
}

void TfrmCollectData::fitPanel() {
    fitPanel(size());
}

void TfrmCollectData::fitPanel(QSize window) {
    m_panel->setConnectionsWidth(TopPanel::connectionsWidthFor(window.width()));
    m_panel->setCompact(window.height() < kHeight);
    // As designed when the window has room for it; as little as the texts need when it has not.
    const int needed = m_panel->neededHeight(window.width());
    const int wanted = window.height() >= kHeight ? std::max(TopPanel::kHeight, needed) : needed;
    if (m_panel->height() != wanted || m_panel->minimumHeight() != wanted)
        m_panel->setFixedHeight(wanted);
}

void TfrmCollectData::connectCollector() {
    connectControls();
    connectCollectorTexts();
    connectSession();
    if (!m_collector.operational()) {
        // Start-up ended early: the window shows what there is, and no command can be given.
        m_panel->disableCommands();
        return;
    }
    connectCollection();
}

void TfrmCollectData::connectControls() {
    TopPanel* p = m_panel;
    connect(p, &TopPanel::hideClicked, this, &TfrmCollectData::hideToTray);
    connect(p, &TopPanel::settingsClicked, this, &TfrmCollectData::openSettings);
    connect(p, &TopPanel::closeClicked, this, &TfrmCollectData::closeWithConfirmation);
    connect(p, &TopPanel::neededHeightChanged, this, [this] { fitPanel(); });
    connect(m_tray.get(), &TTaskbarIconControler::clicked, this, &TfrmCollectData::showWindow);
    connect(m_grid, &ValueGridView::doubleClickedAnywhere, this,
            &TfrmCollectData::toggleValuesOnly);
    connect(m_splitter, &QSplitter::splitterMoved, this, &TfrmCollectData::keepLayout);
    connect(m_patients, &PatientListView::deleteRequested, this, &TfrmCollectData::deletePatient);
    connect(m_patients, &PatientListView::recreateRequested, this,
            &TfrmCollectData::recreatePatient);
    connect(m_patients, &PatientListView::importRequested, this, &TfrmCollectData::importPatient);
    connect(m_patients, &PatientListView::mediaDriveRequested, this,
            &TfrmCollectData::setMediaDrive);
    connect(m_patients, &PatientListView::patientChosen, this, &TfrmCollectData::showChosenPatient);
}

void TfrmCollectData::connectCollectorTexts() {
    Collector& c = m_collector;
    TopPanel* p = m_panel;
    connect(&c, &Collector::showWindowRequested, this, &TfrmCollectData::showWindow);
    connect(&c.serialLink(), &SerialLink::lineError, this, [] { QApplication::beep(); });
    connect(&c, &Collector::patientFileCreated, m_newPatient.get(), &TfrmNewPatient::showCreated);
    connect(&c, &Collector::monitoringTextChanged, p, &TopPanel::showMonitoring);
    connect(&c, &Collector::updateTextChanged, p, &TopPanel::showUpdateFrom);
    connect(&c, &Collector::storingChanged, p, &TopPanel::showNotStoring);
    p->showNotStoring(c.state().notStoring);
    connect(&c.status(), &LinkStatus::captionChanged, this, &QWidget::setWindowTitle);
    connect(&c.status(), &LinkStatus::labelsChanged, this, &TfrmCollectData::showLinkLabels);
    connect(&c.connectionList(), &ConnectionListModel::changed, this,
            &TfrmCollectData::showConnections);
    showLinkLabels();
    showConnections();
}

void TfrmCollectData::connectSession() {
    if (auto* application = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        connect(application, &QGuiApplication::commitDataRequest, this,
                &TfrmCollectData::endSession);
        connect(application, &QCoreApplication::aboutToQuit, this,
                [this] { m_closeConfirmed = true; });
    }
}

void TfrmCollectData::connectCollection() {
    Collector& c = m_collector;
    TopPanel* p = m_panel;
    CollectionControl& control = c.collectionControl();
    connect(p, &TopPanel::startClicked, &control, &CollectionControl::start);
    connect(p, &TopPanel::stopClicked, &control, &CollectionControl::stop);
    connect(&control, &CollectionControl::controlsChanged, this, &TfrmCollectData::applyControls);
    connect(&control, &CollectionControl::showWindowRequested, this, &TfrmCollectData::showWindow);
    connect(&control, &CollectionControl::hideWindowRequested, this, &TfrmCollectData::hideToTray);
    connect(&c.resultProcessor(), &ResultProcessor::displayChanged, this,
            &TfrmCollectData::showLatestValue);
    if (ObservationReporter* reporter = c.reporter()) {
        const auto showReport = [this, reporter] {
            m_panel->showReport(reporter->Status().configured
                                    ? tr("Results to the hospital: ") + reporter->StatusLine()
                                    : QString());
        };
        connect(reporter, &ObservationReporter::statusChanged, this, showReport);
        showReport();
    }
    MessageDispatcher& dispatcher = c.messageDispatcher();
    connect(&dispatcher, &MessageDispatcher::collisionsChanged, this,
            [this, &dispatcher] { m_panel->showCollisions(dispatcher.CollisionText()); });
}

void TfrmCollectData::applyControls() {
    if (!m_collector.operational())
        return;
    const CollectionControls& controls = m_collector.collectionControl().controls();
    showLinkLost(controls.state);
    m_panel->showCommands(controls);
    if (isVisible())
        m_panel->showCollectionState(controls.state);
    m_tray->setIcon(ProgramIcon::ForState(controls.state));
    if (controls.trayIconWanted) {
        m_tray->setHint(controls.trayHint);
        m_tray->Show();
    } else if (isVisible() && !isMinimized()) {
        // While the window is hidden its icon is the only way back to it: it stays.
        m_tray->Hide();
    }
}

void TfrmCollectData::hideToTray() {
    m_panel->stopAnimation();
    if (!m_tray->available()) {
        // Said once: the window stays reachable from the taskbar.
        if (!m_noTraySaid)
            log(QLatin1String(kMinimisedInstead));
        m_noTraySaid = true;
        showMinimized();
        return;
    }
    hide();
    m_tray->Show();
}

void TfrmCollectData::showWindow() {
    if (isMinimized())
        showNormal();
    show();
    raise();
    activateWindow();
}

void TfrmCollectData::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Every showing puts the controls, the animation and the icon into the collection state.
    applyControls();
    keepLayout();
}

void TfrmCollectData::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    fitPanel();
    keepLayout();
}

bool TfrmCollectData::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_grid->viewport() && event->type() == QEvent::Resize)
        keepLayout();
    return QWidget::eventFilter(watched, event);
}

void TfrmCollectData::keepLayout() {
    if (!isVisible())
        return;
    const ProcessingProgress::Patient& current =
        m_collector.resultProcessor().Progress().currentPatient();
    const int columns = ValueGridView::columnsFor(width());
    const int rows = ValueGridView::rowsFor(m_grid->viewport()->height());
    LatestValueGrid& grid = m_collector.latestValues();
    if (columns == grid.Columns() && rows == grid.Rows())
        return;
    grid.Fit(columns, rows, current.id, current.firstName, current.lastName);
    if (!m_chosenId.isEmpty())
        fillChosenGrid();
}

void TfrmCollectData::toggleValuesOnly() {
    const QList<int> sizes = m_splitter->sizes();
    const int total = sizes.value(0) + sizes.value(1);
    if (sizes.value(0) > 0)
        m_splitter->setSizes({0, total});
    else
        m_splitter->setSizes({kPatientListHeight, std::max(total - kPatientListHeight, 0)});
    keepLayout();
}

void TfrmCollectData::showValueLabels(const QString& patient, const QString& value,
                                      const QDateTime& time) {
    const QDateTime now = QDateTime::currentDateTime();
    m_shownTime = time;
    m_panel->showLatestValue(patient, value, ValueAge::timeText(time, now),
                             ValueAge::isStale(time, now));
}

void TfrmCollectData::showLatestValue() {
    const ResultProcessor& processor = m_collector.resultProcessor();
    const ProcessingProgress::Patient& current =
        m_collector.resultProcessor().Progress().currentPatient();
    SeenPatient& seen = m_seen[current.id];
    seen.label = processor.PatientLabel();
    seen.value = processor.LatestValue();
    seen.time = processor.LatestTime();
    const QString key = seen.value.left(seen.value.indexOf(u'=') + 1);
    auto same = std::find_if(seen.values.begin(), seen.values.end(),
                             [&](const auto& value) { return value.first.startsWith(key); });
    if (same != seen.values.end())
        *same = {seen.value, seen.time};
    else
        seen.values.append({seen.value, seen.time});

    // The patient of a new value is the one shown: labels, grid, trend and the list's row.
    m_chosenId.clear();
    m_grid->setGrid(m_collector.latestValues());
    showValueLabels(processor.PatientLabel(), processor.LatestValue(), processor.LatestTime());
    const QString folder = current.folder;
    const QString file =
        folder.isEmpty() ? QString() : QDir(folder).filePath(QStringLiteral("Tarvo.pil"));
    if (file != m_trend->patientFile())
        m_trend->showPatient(file);
    else
        m_trend->refresh();
    m_trend->setPatientName(processor.PatientLabel());
    const int entry = m_collector.patients().IndexOf(current.id);
    if (entry >= 0)
        m_patients->selectEntry(entry);
}

void TfrmCollectData::showChosenPatient(int entry) {
    const PatientListModel& patients = m_collector.patients();
    if (entry < 0 || entry >= patients.Count())
        return;
    const TPatient& patient = patients.At(entry).Patient;
    const CollectorState& state = m_collector.state();
    const ProcessingProgress::Patient& current =
        m_collector.resultProcessor().Progress().currentPatient();
    if (patient.PatientID == current.id && !current.id.isEmpty()) {
        if (!m_chosenId.isEmpty())
            showLatestValue();
        return;
    }
    m_chosenId = patient.PatientID;
    const SeenPatient seen = m_seen.value(m_chosenId);
    const QString label = seen.label.isEmpty() ? patient.PatientID + u' ' + patient.FirstName +
                                                     u' ' + patient.LastName
                                               : seen.label;
    fillChosenGrid();
    m_grid->setGrid(m_chosenGrid);
    showValueLabels(label, seen.value, seen.time);
    const QString folder =
        PatientIdentity::PatientFolderFor(patient.PatientID, state.dataRoot, state.idReduction);
    m_trend->showPatient(folder.isEmpty() ? QString()
                                          : QDir(folder).filePath(QStringLiteral("Tarvo.pil")));
    m_trend->setPatientName(label);
}

void TfrmCollectData::fillChosenGrid() {
    const LatestValueGrid& shown = m_collector.latestValues();
    const PatientListModel& patients = m_collector.patients();
    const int entry = patients.IndexOf(m_chosenId);
    if (m_chosenGrid.Columns() != shown.Columns() || m_chosenGrid.Rows() != shown.Rows())
        m_chosenGrid.Resize(shown.Columns(), shown.Rows());
    m_chosenGrid.Clear();
    if (entry < 0)
        return;
    const TPatient& patient = patients.At(entry).Patient;
    m_chosenGrid.ShowPatient(patient.PatientID, patient.FirstName, patient.LastName);
    for (const auto& [text, time] : m_seen.value(m_chosenId).values)
        m_chosenGrid.ShowValue(text, time);
}

void TfrmCollectData::refreshAges() {
    m_grid->showCells();
    if (!m_collector.operational())
        return;
    m_trend->refresh();
    const QDateTime now = QDateTime::currentDateTime();
    m_panel->showValueAge(ValueAge::timeText(m_shownTime, now),
                          ValueAge::isStale(m_shownTime, now));
}

void TfrmCollectData::showLinkLost(CollectionState state) {
    const CollectionState before = m_shownState;
    m_shownState = state;
    if (state == before)
        return;
    if (state == CollectionState::CollectingOffline) {
        m_linkLostAt = QDateTime::currentDateTime();
        const QString text = tr(kLinkLost) + m_linkLostAt.toString(QStringLiteral("HH:mm"));
        m_panel->showLinkLost(text);
        log(text);
        if (isHidden() || isMinimized())
            m_tray->showMessage(QLatin1String(Collector::kApplicationTitle), text);
    } else {
        m_linkLostAt = {};
        m_panel->showLinkLost(QString());
    }
}

void TfrmCollectData::showConnections() {
    const ConnectionListModel& list = m_collector.connectionList();
    m_panel->showConnections(list.lines(), list.isVisible());
}

void TfrmCollectData::showLinkLabels() {
    const LinkStatus& status = m_collector.status();
    m_panel->showLinkState(status.connectionLabel(), status.noNetworkLabelVisible());
}

void TfrmCollectData::openSettings() {
    runSettingsDialog(m_collector, m_questions, this);
    m_patients->setMediaDriveCaption(m_collector.state().externalMediaMenuCaption);
    applyControls();
}

void TfrmCollectData::deletePatient(int entry) {
    if (entry < 0 || !m_collector.operational())
        return;
    m_collector.checkList().Delete(entry);
}

QString TfrmCollectData::patientFor(int entry, bool fromMedia) {
    if (entry >= 0 && entry < m_collector.patients().Count())
        return m_collector.patients().At(entry).Patient.PatientID;
    if (entry != -1)
        return {};
    if (!m_picker)
        m_picker = std::make_unique<PatientPicker>(this);
    const std::optional<QString> chosen =
        fromMedia ? m_picker->GetPatientIDFromDevice(m_collector)
                  : m_picker->GetPatientIDFromOrvantaDatabase(m_collector);
    return chosen.value_or(QString());
}

void TfrmCollectData::recreatePatient(int entry) {
    if (!m_collector.operational())
        return;
    const QString id = patientFor(entry, false);
    if (id.isEmpty())
        return;
    if (m_questions.ask(this, tr("Confirm"), tr("Recreate patient data for ") + id,
                        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel) !=
        QMessageBox::Yes)
        return;
    try {
        m_collector.recreatePatientData(id);
    } catch (const std::exception& error) {
        m_collector.handleApplicationError(describeError(error));
    }
}

void TfrmCollectData::importPatient(int entry) {
    if (!m_collector.operational())
        return;
    const QString id = patientFor(entry, true);
    if (id.isEmpty())
        return;
    if (m_questions.ask(
            this, tr("Confirm"), tr("Copy patient data for ") + id + tr(" from external media"),
            QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel) != QMessageBox::Yes)
        return;
    m_collector.importFromExternalMedia(id);
}

void TfrmCollectData::setMediaDrive() {
    if (ExternalMediaDriveQuestion::AskAndStore(m_questions, this, m_collector))
        m_patients->setMediaDriveCaption(m_collector.state().externalMediaMenuCaption);
}

void TfrmCollectData::endSession() {
    m_closeConfirmed = true;
    m_ending = true;
    close();
}

void TfrmCollectData::closeWithConfirmation() {
    m_closeConfirmed = askToClose();
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

bool TfrmCollectData::askToClose() {
    // Enter alone never ends the collector: the question defaults to No.
    return m_questions.ask(this, tr("Confirm"), tr(kCloseQuestion),
                           QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

void TfrmCollectData::closeEvent(QCloseEvent* event) {
    // A hidden window closes without a question. When the session or the program is being ended,
    // closing is never refused: a refusal would leave a program that cannot be ended.
    if (isHidden() || m_ending) {
        event->accept();
        formClose();
        return;
    }
    const bool collecting =
        m_collector.operational() && m_collector.collectionControl().controls().stopVisible;
    if (collecting && m_collector.analyzerServer().ConnectionCount() > 0) {
        // Collecting from a connected analyzer: the program goes on in the notification area.
        event->ignore();
        hideToTray();
        return;
    }
    if (!m_closeConfirmed) {
        m_collector.suspendHousekeeping();
        const bool yes = askToClose();
        m_collector.resumeHousekeeping();
        if (!yes) {
            event->ignore();
            return;
        }
    }
    event->accept();
    formClose();
}

void TfrmCollectData::formClose() {
    if (m_formClosed)
        return;
    m_formClosed = true;
    // The collector's closing steps log "Closing application".
    m_collector.close();
    m_tray->Hide();
    emit closed();
}

void TfrmCollectData::log(const QString& line) {
    m_collector.log().writeLog(line);
}
