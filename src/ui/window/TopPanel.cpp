#include "TopPanel.h"

#include <algorithm>

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "ClickableLabel.h"
#include "ConnectionAnimation.h"

namespace {

QFont withPixelSize(QFont font, int pixels, bool bold = false) {
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

template <typename Control> Control* named(Control* control, const char* name) {
    control->setObjectName(QLatin1String(name));
    return control;
}

} // namespace

TopPanel::TopPanel(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Panel1"));
    createLinkControls();
    createCommandButtons();
    createValueLabels();
    createStatusTexts();
    createHiddenControls();
    createConnectionsGroup();
    arrangeControls();
    connectControls();
}

void TopPanel::createLinkControls() {
    LabelMonitor = named(new QLabel(tr("Tarvo Monitor"), this), "LabelMonitor");
    LabelMonitor->setFont(withPixelSize(font(), 32, true));
    Animate = named(new ConnectionAnimation(this), "Animate");
    LabelConnected = named(new QLabel(tr("Disconnected"), this), "LabelConnected");
    lblCollision = named(new QLabel(this), "lblCollision");
    lblCollision->setWordWrap(true);
    lblCollision->hide(); // shown while a message waits
}

void TopPanel::createCommandButtons() {
    // Start and Stop share one place; only one of them is visible.
    btnStart = named(new QPushButton(tr("Start"), this), "btnStart");
    btnStart->setEnabled(false);
    btnStop = named(new QPushButton(tr("Stop"), this), "btnStop");
    btnStop->hide();
    btnHide = named(new QPushButton(tr("Hide"), this), "btnHide");
    btnHide->setEnabled(false);
    btnServerSelect = named(new QPushButton(tr("Settings"), this), "btnServerSelect");
    for (QPushButton* button : {btnStart, btnStop, btnHide, btnServerSelect})
        button->setMinimumWidth(kButtonWidth);
}

void TopPanel::createValueLabels() {
    const QFont valueFont = withPixelSize(font(), kValuePixels, true);
    lblPatient = named(new ClickableLabel(this), "lblPatient");
    LabelParameter = named(new ClickableLabel(this), "LabelParameter");
    lblTime = named(new QLabel(this), "lblTime");
    lblLinkLost = named(new QLabel(this), "lblLinkLost");
    lblNotStoring = named(new QLabel(this), "lblNotStoring");
    for (QLabel* label : {static_cast<QLabel*>(lblPatient), static_cast<QLabel*>(LabelParameter),
                          lblTime, lblLinkLost, lblNotStoring}) {
        label->setWordWrap(true);
        label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    }
    for (QLabel* label :
         {static_cast<QLabel*>(lblPatient), static_cast<QLabel*>(LabelParameter), lblLinkLost})
        label->setFont(valueFont);
    lblTime->setFont(withPixelSize(font(), kValuePixels));
    const QString alarm =
        QStringLiteral("QLabel { background-color: #b00020; color: white; padding: 2px 4px; }");
    for (QLabel* label : {lblLinkLost, lblNotStoring}) {
        label->setStyleSheet(alarm);
        label->hide();
    }
}

void TopPanel::createStatusTexts() {
    lblMonitoringNetworkStore =
        named(new QLabel(tr("Monitoring: "), this), "lblMonitoringNetworkStore");
    lblUpdatingFromPatientID =
        named(new QLabel(tr("Update from: "), this), "lblUpdatingFromPatientID");
    lblReport = named(new QLabel(this), "lblReport");
    for (QLabel* label : {lblMonitoringNetworkStore, lblUpdatingFromPatientID, lblReport}) {
        label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        label->hide(); // shown while they have something to say
    }
}

void TopPanel::createHiddenControls() {
    // Controls kept for the commands that have no button on this window.
    btnParameters = named(new QPushButton(tr("Params..."), this), "btnParameters");
    btnParameters->hide();
    btnInterval = named(new QPushButton(tr("Interval..."), this), "btnInterval");
    btnInterval->hide();
    FilterFunction = named(new QGroupBox(tr("Filter function"), this), "FilterFunction");
    auto* filterLayout = new QVBoxLayout(FilterFunction);
    filterLayout->addWidget(new QRadioButton(tr("Average"), FilterFunction));
    filterLayout->addWidget(new QRadioButton(tr("Median"), FilterFunction));
    filterLayout->addWidget(new QRadioButton(tr("Momentary"), FilterFunction));
    FilterFunction->hide();
    BitBtnClose = named(new QPushButton(tr("&Close"), this), "BitBtnClose");
    BitBtnClose->hide();
    cbAckError = named(new QCheckBox(tr("Ack Error"), this), "cbAckError");
    cbAckError->hide();
}

void TopPanel::createConnectionsGroup() {
    gbConnectedDataClients =
        named(new QGroupBox(tr("Connections"), this), "gbConnectedDataClients");
    auto* groupLayout = new QVBoxLayout(gbConnectedDataClients);
    groupLayout->setContentsMargins(6, 4, 6, 6);
    ListBoxConnectedClients =
        named(new QListWidget(gbConnectedDataClients), "ListBoxConnectedClients");
    ListBoxConnectedClients->setFocusPolicy(Qt::NoFocus);
    ListBoxConnectedClients->setMinimumHeight(1);
    groupLayout->addWidget(ListBoxConnectedClients);
    lblNoNetwork = named(new QLabel(tr("No Network"), gbConnectedDataClients), "lblNoNetwork");
    lblNoNetwork->setAlignment(Qt::AlignCenter);
    lblNoNetwork->setStyleSheet(QStringLiteral("QLabel { background-color: red; color: white; }"));
    lblNoNetwork->hide();
    groupLayout->addWidget(lblNoNetwork);
    gbConnectedDataClients->hide();
    gbConnectedDataClients->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Ignored);
}

void TopPanel::arrangeControls() {
    buttonBox = new QBoxLayout(QBoxLayout::TopToBottom);
    buttonBox->setSpacing(6);
    for (QPushButton* button : {btnStart, btnStop, btnHide, btnServerSelect})
        buttonBox->addWidget(button);
    buttonBox->addStretch(1);

    valueBox = new QVBoxLayout;
    valueBox->setSpacing(2);
    for (QWidget* label : {static_cast<QWidget*>(lblPatient), static_cast<QWidget*>(LabelParameter),
                           static_cast<QWidget*>(lblTime)})
        valueBox->addWidget(label);
    valueBox->addSpacing(4);
    valueBox->addWidget(lblLinkLost);
    valueBox->addWidget(lblNotStoring);
    valueBox->addStretch(1);

    panelGrid = new QGridLayout;
    panelGrid->setHorizontalSpacing(16);
    panelGrid->setVerticalSpacing(2);
    placeControls(false);

    auto* left = new QVBoxLayout;
    left->setSpacing(0);
    left->addLayout(panelGrid, 1);
    left->addWidget(lblMonitoringNetworkStore);
    left->addWidget(lblUpdatingFromPatientID);
    left->addWidget(lblReport);

    auto* outer = new QHBoxLayout(this);
    outer->setContentsMargins(10, 4, 0, 4);
    outer->setSpacing(8);
    outer->addLayout(left, 1);
    outer->addWidget(gbConnectedDataClients);
    setConnectionsWidth(282);
}

void TopPanel::placeControls(bool compact) {
    // As designed: the title over the animation with the buttons beside it and the link status
    // under it, the latest value on the right. Compact: a smaller animation with the buttons in
    // one row beside it, the latest value under both over the panel's whole width.
    for (QLayout* box : {static_cast<QLayout*>(buttonBox), static_cast<QLayout*>(valueBox)}) {
        panelGrid->removeItem(box);
        box->setParent(nullptr); // added again below
    }
    for (QWidget* widget :
         {static_cast<QWidget*>(LabelMonitor), static_cast<QWidget*>(Animate),
          static_cast<QWidget*>(LabelConnected), static_cast<QWidget*>(lblCollision)})
        panelGrid->removeWidget(widget);
    panelGrid->addWidget(LabelMonitor, 0, 0, 1, 3);
    panelGrid->addWidget(Animate, 1, 0, Qt::AlignTop);
    panelGrid->addWidget(LabelConnected, 2, 0);
    for (int row = 0; row < panelGrid->rowCount(); ++row)
        panelGrid->setRowStretch(row, 0);
    if (compact) {
        panelGrid->addLayout(buttonBox, 1, 1, 2, 2);
        panelGrid->addLayout(valueBox, 3, 0, 1, 3);
        panelGrid->addWidget(lblCollision, 4, 0, 1, 3);
        panelGrid->setRowStretch(4, 1);
    } else {
        panelGrid->addLayout(buttonBox, 1, 1, 2, 1);
        panelGrid->addLayout(valueBox, 1, 2, 3, 1);
        panelGrid->addWidget(lblCollision, 3, 0, 1, 2);
        panelGrid->setRowStretch(3, 1);
    }
    panelGrid->setColumnStretch(2, 1);
}

void TopPanel::connectControls() {
    connect(btnStart, &QPushButton::clicked, this, &TopPanel::startClicked);
    connect(btnStop, &QPushButton::clicked, this, &TopPanel::stopClicked);
    connect(btnHide, &QPushButton::clicked, this, &TopPanel::hideClicked);
    connect(btnServerSelect, &QPushButton::clicked, this, &TopPanel::settingsClicked);
    connect(BitBtnClose, &QPushButton::clicked, this, &TopPanel::closeClicked);
    // A click on the patient or on the value clears it until the next value arrives.
    connect(lblPatient, &ClickableLabel::clicked, lblPatient, &QLabel::clear);
    connect(LabelParameter, &ClickableLabel::clicked, LabelParameter, &QLabel::clear);
    connect(LabelParameter, &ClickableLabel::clicked, lblTime, &QLabel::clear);
}

void TopPanel::setConnectionsWidth(int width) {
    gbConnectedDataClients->setFixedWidth(std::max(width, 0));
}

void TopPanel::setCompact(bool compact) {
    if (compact == compactForm)
        return;
    compactForm = compact;
    LabelMonitor->setVisible(!compact);
    Animate->setSmall(compact);
    buttonBox->setDirection(compact ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom);
    // In one row the buttons take the width their captions need.
    for (QPushButton* button : {btnStart, btnStop, btnHide, btnServerSelect})
        button->setMinimumWidth(compact ? 0 : kButtonWidth);
    placeControls(compact);
    // The window's layout asks for the panel's new sizes.
    updateGeometry();
    emit neededHeightChanged();
}

void TopPanel::showCommands(const CollectionControls& controls) {
    btnStart->setEnabled(controls.startEnabled);
    btnStart->setVisible(controls.startVisible);
    btnStop->setVisible(controls.stopVisible);
    btnHide->setEnabled(controls.hideEnabled);
    btnServerSelect->setVisible(controls.settingsVisible);
}

void TopPanel::disableCommands() {
    btnStart->setEnabled(false);
    btnHide->setEnabled(false);
}

void TopPanel::showCollectionState(CollectionState state) {
    Animate->showState(state);
}

void TopPanel::stopAnimation() {
    Animate->stop();
}

void TopPanel::showLinkState(const QString& status, bool noNetwork) {
    // A null status leaves the text as it is.
    if (!status.isNull())
        LabelConnected->setText(status);
    lblNoNetwork->setVisible(noNetwork);
}

void TopPanel::showLinkLost(const QString& text) {
    lblLinkLost->setText(text);
    lblLinkLost->setVisible(!text.isEmpty());
    emit neededHeightChanged();
}

void TopPanel::showLatestValue(const QString& patient, const QString& value, const QString& time,
                               bool old) {
    lblPatient->setText(patient);
    LabelParameter->setText(value);
    lblTime->setText(time);
    greyValue(old);
    emit neededHeightChanged();
}

void TopPanel::showValueAge(const QString& time, bool old) {
    // A value cleared by a click stays clear until the next value.
    if (!showsValue())
        return;
    lblTime->setText(time);
    greyValue(old);
    emit neededHeightChanged();
}

bool TopPanel::showsValue() const {
    return !LabelParameter->text().isEmpty();
}

void TopPanel::greyValue(bool old) {
    // An old value no longer looks current: it is greyed, and its time says how old it is.
    const QString style = old ? QStringLiteral("QLabel { color: #808080; }") : QString();
    for (QLabel* label :
         {static_cast<QLabel*>(lblPatient), static_cast<QLabel*>(LabelParameter), lblTime})
        if (label->styleSheet() != style)
            label->setStyleSheet(style);
}

void TopPanel::showCollisions(const QString& text) {
    lblCollision->setText(text);
    lblCollision->setVisible(!text.isEmpty());
    emit neededHeightChanged();
}

void TopPanel::showNotStoring(const QString& text) {
    lblNotStoring->setText(text);
    lblNotStoring->setToolTip(text);
    lblNotStoring->setVisible(!text.isEmpty());
    emit neededHeightChanged();
}

void TopPanel::showMonitoring(const QString& text) {
    showOptionalText(lblMonitoringNetworkStore, text);
}

void TopPanel::showUpdateFrom(const QString& text) {
    showOptionalText(lblUpdatingFromPatientID, text);
}

void TopPanel::showReport(const QString& text) {
    showOptionalText(lblReport, text);
}

void TopPanel::showOptionalText(QLabel* label, const QString& text) {
    label->setText(text);
    // "Monitoring: " alone has nothing to say.
    const QString said = text.trimmed();
    label->setVisible(!said.isEmpty() && !said.endsWith(u':'));
    emit neededHeightChanged();
}

void TopPanel::showConnections(const QStringList& lines, bool visible) {
    ListBoxConnectedClients->clear();
    ListBoxConnectedClients->addItems(lines);
    gbConnectedDataClients->setVisible(visible);
    emit neededHeightChanged();
}

int TopPanel::neededHeight(int width) const {
    if (layout()->hasHeightForWidth())
        return std::max(layout()->heightForWidth(width), layout()->minimumSize().height());
    return layout()->minimumSize().height();
}
