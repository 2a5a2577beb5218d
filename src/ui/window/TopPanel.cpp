#include "TopPanel.h"

#include <algorithm>

#include <QVBoxLayout>

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

TopPanel::TopPanel(QWidget* parent) : QWidget(parent), m_left(new QWidget(this)) {
    setObjectName(QStringLiteral("Panel1"));
    setFixedHeight(kHeight);
    m_left->setGeometry(0, 0, kLeftWidth, kHeight);

    LabelMonitor = named(new QLabel(tr("Tarvo Monitor"), m_left), "LabelMonitor");
    LabelMonitor->setFont(withPixelSize(font(), 32, true));
    LabelMonitor->setGeometry(10, 6, 300, 40);

    Animate = named(new ConnectionAnimation(m_left), "Animate");
    Animate->move(10, 52);

    LabelConnected = named(new QLabel(tr("Disconnected"), m_left), "LabelConnected");
    LabelConnected->setGeometry(10, 136, 230, 26);

    lblCollision = named(new QLabel(m_left), "lblCollision");
    lblCollision->setGeometry(10, 162, 230, 26);

    // Start and Stop share one place; only one of them is visible.
    btnStart = named(new QPushButton(tr("Start"), m_left), "btnStart");
    btnStart->setGeometry(256, 52, 120, 34);
    btnStart->setEnabled(false);
    btnStop = named(new QPushButton(tr("Stop"), m_left), "btnStop");
    btnStop->setGeometry(256, 52, 120, 34);
    btnStop->hide();
    btnHide = named(new QPushButton(tr("Hide"), m_left), "btnHide");
    btnHide->setGeometry(256, 92, 120, 34);
    btnHide->setEnabled(false);
    btnServerSelect = named(new QPushButton(tr("Settings"), m_left), "btnServerSelect");
    btnServerSelect->setGeometry(256, 132, 120, 34);

    const QFont valueFont = withPixelSize(font(), 16, true);
    lblPatient = named(new ClickableLabel(m_left), "lblPatient");
    lblPatient->setFont(valueFont);
    lblPatient->setGeometry(392, 52, 300, 26);
    LabelParameter = named(new ClickableLabel(m_left), "LabelParameter");
    LabelParameter->setFont(valueFont);
    LabelParameter->setGeometry(392, 80, 300, 26);
    lblTime = named(new QLabel(m_left), "lblTime");
    lblTime->setGeometry(392, 108, 300, 26);
    lblNotStoring = named(new QLabel(m_left), "lblNotStoring");
    lblNotStoring->setGeometry(392, 136, 300, 42);
    lblNotStoring->setWordWrap(true);
    lblNotStoring->setStyleSheet(QStringLiteral("QLabel { background-color: red; color: white; }"));
    lblNotStoring->hide();

    lblMonitoringNetworkStore =
        named(new QLabel(tr("Monitoring: "), m_left), "lblMonitoringNetworkStore");
    lblMonitoringNetworkStore->setGeometry(10, 180, 684, 24);
    lblUpdatingFromPatientID =
        named(new QLabel(tr("Update from: "), m_left), "lblUpdatingFromPatientID");
    lblUpdatingFromPatientID->setGeometry(10, 205, 684, 24);

    // Controls kept for the commands that have no button on this window.
    btnParameters = named(new QPushButton(tr("Params..."), m_left), "btnParameters");
    btnParameters->hide();
    btnInterval = named(new QPushButton(tr("Interval..."), m_left), "btnInterval");
    btnInterval->hide();
    FilterFunction = named(new QGroupBox(tr("Filter function"), m_left), "FilterFunction");
    auto* filterLayout = new QVBoxLayout(FilterFunction);
    filterLayout->addWidget(new QRadioButton(tr("Average"), FilterFunction));
    filterLayout->addWidget(new QRadioButton(tr("Median"), FilterFunction));
    filterLayout->addWidget(new QRadioButton(tr("Momentary"), FilterFunction));
    FilterFunction->hide();
    BitBtnClose = named(new QPushButton(tr("&Close"), m_left), "BitBtnClose");
    BitBtnClose->hide();
    cbAckError = named(new QCheckBox(tr("Ack Error"), m_left), "cbAckError");
    cbAckError->hide();

    gbConnectedDataClients =
        named(new QGroupBox(tr("Connections"), this), "gbConnectedDataClients");
    auto* groupLayout = new QVBoxLayout(gbConnectedDataClients);
    groupLayout->setContentsMargins(6, 4, 6, 6);
    ListBoxConnectedClients =
        named(new QListWidget(gbConnectedDataClients), "ListBoxConnectedClients");
    ListBoxConnectedClients->setFocusPolicy(Qt::NoFocus);
    groupLayout->addWidget(ListBoxConnectedClients);
    lblNoNetwork = named(new QLabel(tr("No Network"), gbConnectedDataClients), "lblNoNetwork");
    lblNoNetwork->setAlignment(Qt::AlignCenter);
    lblNoNetwork->setStyleSheet(QStringLiteral("QLabel { background-color: red; color: white; }"));
    lblNoNetwork->hide();
    groupLayout->addWidget(lblNoNetwork);
    gbConnectedDataClients->hide();
    setConnectionsWidth(282);
}

void TopPanel::setConnectionsWidth(int width) {
    gbConnectedDataClients->setFixedWidth(std::max(width, 0));
    gbConnectedDataClients->setGeometry(this->width() - gbConnectedDataClients->width(), 0,
                                        gbConnectedDataClients->width(), kHeight);
}

void TopPanel::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    setConnectionsWidth(gbConnectedDataClients->width());
}
