#include "TfrmHost.h"

#include <utility>

#include <QButtonGroup>
#include <QCheckBox>
#include <QEvent>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "InstallationLayout.h"
#include "OperatorQuestions.h"
#include "RangeSpinBox.h"
#include "WindowPlacement.h"

namespace {

template <typename Widget> Widget* named(Widget* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

RangeSpinBox* spinEdit(const char* name, int minimum, int maximum, int value, QWidget* parent) {
    auto* spin = named(new RangeSpinBox(parent), name);
    spin->setRange(minimum, maximum);
    spin->setValue(value);
    return spin;
}

// A radio group: a group box of radio buttons numbered from 0 in the given order.
QButtonGroup* radioGroup(QGroupBox* box, const QStringList& items, int columns) {
    auto* buttons = new QButtonGroup(box);
    auto* layout = new QGridLayout(box);
    for (int i = 0; i < items.size(); ++i) {
        auto* radio = new QRadioButton(items.at(i), box);
        buttons->addButton(radio, i);
        layout->addWidget(radio, i / columns, i % columns);
    }
    return buttons;
}

// The line under a number field that says why a typed number was refused; hidden until then and
// again once the field takes a new value.
QLabel* refusalLine(RangeSpinBox* field, QWidget* parent) {
    auto* line = new QLabel(parent);
    line->setObjectName(field->objectName() + QStringLiteral("Refused"));
    line->setWordWrap(true);
    line->setStyleSheet(QStringLiteral("QLabel { color: #b00020; }"));
    line->hide();
    QObject::connect(field, &RangeSpinBox::refused, line, [line](const QString& explanation) {
        line->setText(explanation);
        line->show();
    });
    QObject::connect(field, &QSpinBox::valueChanged, line, &QWidget::hide);
    return line;
}

void check(QButtonGroup* buttons, int id) {
    if (QAbstractButton* button = buttons->button(id))
        button->setChecked(true);
}

} // namespace

TfrmHost::TfrmHost(const HostSettingsChoice& values, OperatorQuestions& questions, QWidget* parent)
    : QDialog(parent), m_questions(questions), m_opened(values) {
    setObjectName(QStringLiteral("TfrmHost"));
    setWindowTitle(tr("Settings"));
    createControls();

    // The hints of the patient ID reduction and of folder monitoring.
    rgPatientIDReduction->setToolTip(
        tr("Check None to use all characters of the Tarvo patient ID") + u'\n' +
        tr("Check FIRST to use FIRST 10 characters of the Tarvo patient ID") + u'\n' +
        tr("Check LAST to use LAST 10 characters of the Tarvo patient ID"));
    gbMonitorNetwork->setToolTip(tr("Use Monitor network location to automatically recreate "
                                    "TARVOflex data saved in the Orvanta database.") +
                                 u'\n' +
                                 tr("Normally you would not send data from TARVOflex to this "
                                    "computer, only store data in the Orvanta database location"));
    load(values);
    setNarrow(true);
    WindowPlacement::centreOn(this, parent);
}

void TfrmHost::watchRefusals(RangeSpinBox* field) {
    connect(field, &RangeSpinBox::refused, this, [this, field] { m_refusedField = field; });
    connect(field, &QSpinBox::valueChanged, this, [this, field] {
        if (m_refusedField == field)
            m_refusedField = nullptr;
    });
}

void TfrmHost::createControls() {
    auto* columns = new QHBoxLayout;
    columns->addWidget(createBasicPart(), 0);
    m_advanced = createAdvancedPart();
    columns->addWidget(m_advanced, 1);

    BitBtn1 = named(new QPushButton(tr("OK"), this), "BitBtn1");
    BitBtn1->setDefault(true);
    BitBtn2 = named(new QPushButton(tr("Cancel"), this), "BitBtn2");
    connect(BitBtn1, &QPushButton::clicked, this, &TfrmHost::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(columns, 1);
    layout->addLayout(buttons);
}

QWidget* TfrmHost::createBasicPart() {
    auto* part = new QWidget(this);
    auto* layout = new QHBoxLayout(part);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(createLinkFields(part), 1);
    layout->addLayout(createPatientOptions(part), 1);
    connect(cbOrvantaNetworking, &QCheckBox::toggled, this, &TfrmHost::applyVisibility);
    connect(cbMonitorNetworkLocation, &QCheckBox::toggled, this, &TfrmHost::applyVisibility);
    return part;
}

QLayout* TfrmHost::createLinkFields(QWidget* part) {
    cbOrvantaNetworking =
        named(new QCheckBox(tr("Orvanta networking"), part), "cbOrvantaNetworking");
    cbOrvantaNetworking->setToolTip(
        tr("Check mark to use Orvanta inter-networking for data distribution"));
    gbDataHost = named(new QGroupBox(tr("Data host IP address"), part), "gbDataHost");
    editIPaddress =
        named(new QLineEdit(QStringLiteral("123.123.123.123"), gbDataHost), "editIPaddress");
    editIPaddress->setToolTip(tr("Enter IP-address for Orvanta data host"));
    WindowPlacement::fitTextField(editIPaddress, QStringLiteral("255.255.255.255"));
    (new QVBoxLayout(gbDataHost))->addWidget(editIPaddress);
    gbDataHost->hide();

    GroupBox2 = named(new QGroupBox(tr("TARVO/TARVOflex Port number"), part), "GroupBox2");
    SpinEditPortNumber = spinEdit("SpinEditPortNumber", 1024, 65535, 13000, GroupBox2);
    SpinEditPortNumber->setToolTip(
        tr("The same port number should be entered in TARVO/TARVOflex Settings/Data"));
    auto* port = new QVBoxLayout(GroupBox2);
    port->addWidget(SpinEditPortNumber);
    port->addWidget(refusalLine(SpinEditPortNumber, GroupBox2));
    watchRefusals(SpinEditPortNumber);

    gbMonitorNetwork =
        named(new QGroupBox(tr("Monitor network location"), part), "gbMonitorNetwork");
    cbMonitorNetworkLocation =
        named(new QCheckBox(tr("Activate"), gbMonitorNetwork), "cbMonitorNetworkLocation");
    cbMonitorNetworkLocation->setToolTip(tr("Check to activate folder monitoring."));
    lblMonitorNetworkLocation =
        named(new QLabel(tr("NW Location"), gbMonitorNetwork), "lblMonitorNetworkLocation");
    lblMonitorNetworkLocation->setToolTip(tr("This is the Orvanta database location"));
    lblMonitorNetworkLocation->setWordWrap(true);
    auto* monitor = new QVBoxLayout(gbMonitorNetwork);
    monitor->addWidget(cbMonitorNetworkLocation);
    monitor->addWidget(lblMonitorNetworkLocation);

    auto* left = new QVBoxLayout;
    left->addWidget(cbOrvantaNetworking);
    left->addWidget(gbDataHost);
    left->addWidget(GroupBox2);
    left->addWidget(gbMonitorNetwork);
    left->addStretch(1);
    return left;
}

QLayout* TfrmHost::createPatientOptions(QWidget* part) {
    cbCreatePatientAutomatically = named(new QCheckBox(tr("Create Patient Automatically"), part),
                                         "cbCreatePatientAutomatically");
    cbCreatePatientAutomatically->setToolTip(tr("Check to automatically create all patients "
                                                "registered in connected TARVO/TARVOflex devices"));
    rgPatientIDReduction =
        named(new QGroupBox(tr("Patient ID Reduction"), part), "rgPatientIDReduction");
    m_idReduction =
        radioGroup(rgPatientIDReduction,
                   {tr("None"), tr("Use 10 FIRST characters"), tr("Use 10 LAST characters")}, 1);

    btnAdvanced = named(new QPushButton(tr("Advanced"), part), "btnAdvanced");
    btnAdvanced->setToolTip(tr("Click to show/hide advanced settings"));
    btnAdvanced->setAutoDefault(false);
    connect(btnAdvanced, &QPushButton::clicked, this, &TfrmHost::btnAdvancedClick);
    cbAutostart = named(new QCheckBox(tr("Autostart"), part), "cbAutostart");
    cbAutostart->setToolTip(
        tr("Check to start collection automatically when connection has been established"));
    cbAutostart->setChecked(true);
    cbAutohide = named(new QCheckBox(tr("Autohide"), part), "cbAutohide");
    cbAutohide->setToolTip(
        tr("Check to automatically hide the application when connection has been established"));
    cbAutohide->setChecked(true);

    auto* right = new QVBoxLayout;
    right->addWidget(cbCreatePatientAutomatically);
    right->addWidget(rgPatientIDReduction);
    right->addWidget(cbAutostart);
    right->addWidget(cbAutohide);
    right->addStretch(1);
    right->addWidget(btnAdvanced, 0, Qt::AlignLeft);
    return right;
}

QWidget* TfrmHost::createAdvancedPart() {
    auto* part = new QWidget(this);
    createProtocolControls(part);
    QWidget* relay = createRelayGroup(part);
    QWidget* duplicate = createDuplicateGroup(part);

    auto* switches = new QGridLayout;
    switches->addWidget(cbFilter194, 0, 0);
    switches->addWidget(cbRelayDataToHost, 0, 1);
    switches->addWidget(cbIncludeChecksum, 1, 0);
    switches->addWidget(createReportGroup(part), 1, 1);
    auto* layout = new QVBoxLayout(part);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(rgSettingsOrigin);
    layout->addWidget(cbOrvantaCommunication);
    layout->addWidget(rgCommunicationProtocol);
    layout->addLayout(switches);
    layout->addWidget(relay);
    layout->addWidget(duplicate);
    layout->addStretch(1);

    connect(m_protocol, &QButtonGroup::idClicked, this, &TfrmHost::applyVisibility);
    connect(cbRelayDataToHost, &QCheckBox::toggled, this, &TfrmHost::applyVisibility);
    return part;
}

void TfrmHost::createProtocolControls(QWidget* part) {
    rgSettingsOrigin = named(new QGroupBox(tr("Settings origin"), part), "rgSettingsOrigin");
    rgSettingsOrigin->setToolTip(tr("Select CURRENT_USER for normal use, select LOCAL_MACHINE "
                                    "to prepare for usage as a service"));
    m_origin = radioGroup(rgSettingsOrigin,
                          {tr("CURRENT_USER (default)"), tr("LOCAL_MACHINE (run as service)")}, 1);

    cbOrvantaCommunication =
        named(new QCheckBox(tr("Orvanta interface enable"), part), "cbOrvantaCommunication");
    cbOrvantaCommunication->setToolTip(tr("Check mark for normal use, uncheck to run application "
                                          "without Orvanta (e.g. as a service)"));

    rgCommunicationProtocol =
        named(new QGroupBox(tr("Communication protocol"), part), "rgCommunicationProtocol");
    rgCommunicationProtocol->setToolTip(tr("Select communication protocol (HL7 to relay data). "
                                           "Must be same as set in TARVO/TARVOflex"));
    m_protocol = radioGroup(rgCommunicationProtocol, {tr("XML"), tr("HL7"), tr("ASTM E-1381")}, 3);
    check(m_protocol, 0);

    cbFilter194 = named(new QCheckBox(tr("Filter out 194 character"), part), "cbFilter194");
    cbFilter194->setToolTip(tr("Check to get µmol/L correctly displayed"));
    cbRelayDataToHost = named(new QCheckBox(tr("Relay data to host"), part), "cbRelayDataToHost");
    cbRelayDataToHost->setToolTip(tr("Check mark to relay data to other host"));
    cbIncludeChecksum = named(new QCheckBox(tr("Include Checksum"), part), "cbIncludeChecksum");
    cbIncludeChecksum->setToolTip(tr("Check to include a checksum"));
}

QWidget* TfrmHost::createRelayGroup(QWidget* part) {
    gbSettings = named(new QGroupBox(tr("Settings"), part), "gbSettings");
    editHostOther =
        named(new QLineEdit(QStringLiteral("123.123.123.123"), gbSettings), "editHostOther");
    editHostOther->setToolTip(tr("Enter Name or IP-address for other data host (e.g. Telcor)"));
    WindowPlacement::fitTextField(editHostOther, QStringLiteral("hospital.example.org"));
    editPortOther = spinEdit("editPortOther", 1024, 65535, 13000, gbSettings);
    editPortOther->setToolTip(tr("Enter port number for other host (e.g. Telcor port number)"));
    SpinEditCommunicationTimeout =
        spinEdit("SpinEditCommunicationTimeout", 0, 3600, 20, gbSettings);
    SpinEditCommunicationTimeout->setToolTip(
        tr("Enter connection timeout for other host (e.g. Telcor)"));
    auto* relay = new QFormLayout(gbSettings);
    relay->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    // A label that leaves its field too little room goes above it.
    relay->setRowWrapPolicy(QFormLayout::WrapLongRows);
    relay->addRow(tr("Host Name / IP:"), editHostOther);
    relay->addRow(tr("Port Number:"), editPortOther);
    relay->addRow(nullptr, refusalLine(editPortOther, gbSettings));
    relay->addRow(tr("Connection time out (seconds):"), SpinEditCommunicationTimeout);
    relay->addRow(nullptr, refusalLine(SpinEditCommunicationTimeout, gbSettings));
    watchRefusals(editPortOther);
    watchRefusals(SpinEditCommunicationTimeout);
    return gbSettings;
}

QWidget* TfrmHost::createDuplicateGroup(QWidget* part) {
    gbDuplicateXMLFiles =
        named(new QGroupBox(tr("Duplicate XML-files"), part), "gbDuplicateXMLFiles");
    cbDuplicateXMLFiles =
        named(new QCheckBox(tr("Duplicate XML files"), gbDuplicateXMLFiles), "cbDuplicateXMLFiles");
    cbDuplicateXMLFiles->setToolTip(tr("Check to duplicate XML files to Network Location below"));
    editDuplicateToNetworkLocation =
        named(new QLineEdit(gbDuplicateXMLFiles), "editDuplicateToNetworkLocation");
    editDuplicateToNetworkLocation->setToolTip(
        tr("Enter folder for storage of XML files. Will allow other monitoring systems to show "
           "MD data."));
    editDuplicateToNetworkLocation->installEventFilter(this);
    WindowPlacement::fitTextField(editDuplicateToNetworkLocation,
                                  QStringLiteral("\\\\server\\share\\Tarvo\\"));
    auto* duplicate = new QVBoxLayout(gbDuplicateXMLFiles);
    duplicate->addWidget(cbDuplicateXMLFiles);
    duplicate->addWidget(new QLabel(tr("To network location:"), gbDuplicateXMLFiles));
    duplicate->addWidget(editDuplicateToNetworkLocation);
    return gbDuplicateXMLFiles;
}

QWidget* TfrmHost::createReportGroup(QWidget* parent) {
    // The Advanced page has no height to spare: its button opens the fields in a window of their
    // own, which stays part of this dialog (OK saves them, Cancel forgets them).
    lblReportSettings =
        named(new QLabel(QStringLiteral("<a href=\"report\">") + tr("Results to the hospital...") +
                             QStringLiteral("</a>"),
                         parent),
              "lblReportSettings");
    lblReportSettings->setTextInteractionFlags(Qt::LinksAccessibleByMouse |
                                               Qt::LinksAccessibleByKeyboard);
    lblReportSettings->setToolTip(
        tr("Report every stored result to the hospital's integration engine "
           "(HL7 over MLLP)"));
    gbReport = named(new QDialog(this), "gbReport");
    gbReport->setWindowTitle(tr("Results to the hospital (HL7 over MLLP)"));
    editReportHost = named(new QLineEdit(gbReport), "editReportHost");
    editReportHost->setToolTip(
        tr("Name or IP address of the integration engine; empty: results are not reported"));
    editReportPort = spinEdit("editReportPort", 0, 65535, 0, gbReport);
    editReportPort->setToolTip(tr("MLLP port of the integration engine; 0: not reported"));
    editReportSendingApplication = named(new QLineEdit(gbReport), "editReportSendingApplication");
    editReportSendingFacility = named(new QLineEdit(gbReport), "editReportSendingFacility");
    editReportReceivingApplication =
        named(new QLineEdit(gbReport), "editReportReceivingApplication");
    editReportReceivingFacility = named(new QLineEdit(gbReport), "editReportReceivingFacility");
    cbReportControls =
        named(new QCheckBox(tr("Report controls and calibrations"), gbReport), "cbReportControls");
    cbReportEvents = named(new QCheckBox(tr("Report events"), gbReport), "cbReportEvents");
    cbReportEvents->setToolTip(tr("Send each event of a patient's events file as a text "
                                  "observation"));
    auto* close = new QPushButton(tr("Close"), gbReport);
    connect(close, &QPushButton::clicked, gbReport, &QDialog::accept);
    auto* form = new QFormLayout(gbReport);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form->addRow(tr("Engine host:"), editReportHost);
    form->addRow(tr("Engine port:"), editReportPort);
    form->addRow(tr("Sending application:"), editReportSendingApplication);
    form->addRow(tr("Sending facility:"), editReportSendingFacility);
    form->addRow(tr("Receiving application:"), editReportReceivingApplication);
    form->addRow(tr("Receiving facility:"), editReportReceivingFacility);
    form->addRow(cbReportControls);
    form->addRow(cbReportEvents);
    form->addRow(close);
    connect(lblReportSettings, &QLabel::linkActivated, gbReport, &QDialog::open);
    return lblReportSettings;
}

void TfrmHost::loadReport(const ReportChoice& values) {
    editReportHost->setText(values.host);
    editReportPort->setValue(values.port);
    editReportSendingApplication->setText(values.sendingApplication);
    editReportSendingFacility->setText(values.sendingFacility);
    editReportReceivingApplication->setText(values.receivingApplication);
    editReportReceivingFacility->setText(values.receivingFacility);
    cbReportControls->setChecked(values.controls);
    cbReportEvents->setChecked(values.events);
}

ReportChoice TfrmHost::reportChoice() const {
    return {editReportHost->text().trimmed(),       editReportPort->value(),
            editReportSendingApplication->text(),   editReportSendingFacility->text(),
            editReportReceivingApplication->text(), editReportReceivingFacility->text(),
            cbReportControls->isChecked(),          cbReportEvents->isChecked()};
}

void TfrmHost::load(const HostSettingsChoice& values) {
    check(m_origin, values.originIndex == 1 ? 1 : 0);
    cbAutohide->setChecked(values.autoHide);
    cbAutostart->setChecked(values.autoStart);
    cbCreatePatientAutomatically->setChecked(values.autoCreate);
    check(m_idReduction, values.idReduction);
    cbOrvantaNetworking->setChecked(values.interNetworking);
    editIPaddress->setText(values.ipString);
    cbOrvantaNetworking->setEnabled(values.networkingEnabled);
    gbDataHost->setEnabled(values.networkingEnabled);
    SpinEditPortNumber->setValue(values.port);
    check(m_protocol, values.protocolIndex);
    cbOrvantaCommunication->setChecked(values.orvantaInterface);
    cbRelayDataToHost->setChecked(values.relayDataToHost);
    cbIncludeChecksum->setChecked(values.includeChecksum);
    editHostOther->setText(values.hostOther);
    editPortOther->setValue(values.portOther);
    cbFilter194->setChecked(values.filter194);
    SpinEditCommunicationTimeout->setValue(values.communicationTimeout);
    cbMonitorNetworkLocation->setChecked(values.monitorNetworkLocation);
    lblMonitorNetworkLocation->setText(values.dataRoot);
    cbDuplicateXMLFiles->setChecked(values.duplicateXmlFiles);
    editDuplicateToNetworkLocation->setText(values.duplicateToNetworkLocation);
    loadReport(values.report);
    applyVisibility();
}

int TfrmHost::protocolIndex() const {
    const int id = m_protocol->checkedId();
    return id < 0 ? 0 : id;
}

void TfrmHost::applyVisibility() {
    const int protocol = protocolIndex();
    const bool xml = protocol == 0;
    cbFilter194->setVisible(!xml);
    cbRelayDataToHost->setVisible(!xml);
    cbIncludeChecksum->setVisible(protocol == 2);
    gbSettings->setVisible(cbRelayDataToHost->isChecked() && !xml);
    lblMonitorNetworkLocation->setVisible(cbMonitorNetworkLocation->isChecked());
    gbDuplicateXMLFiles->setVisible(xml);
    gbDataHost->setVisible(cbOrvantaNetworking->isChecked());
}

void TfrmHost::setNarrow(bool narrow) {
    // The advanced part goes before the dialog narrows, so that the layout lets it narrow.
    m_advanced->setVisible(!narrow);
    layout()->activate();
    resize(narrow ? kNarrowWidth : kWideWidth, kHeight);
}

void TfrmHost::btnAdvancedClick() {
    setNarrow(!isNarrow());
    applyVisibility();
}

void TfrmHost::BitBtn1Click() {
    // A number refused as OK was pressed (the field lost the focus to the button, or Enter
    // ended its editing): the dialog stays open on the explanation, with the field's old value.
    if (RangeSpinBox* refused = std::exchange(m_refusedField, nullptr)) {
        refused->setFocus();
        refused->selectAll();
        return;
    }
    const HostSettingsChoice chosen = choice();
    if (chosen.port != m_opened.port) {
        const QMessageBox::StandardButton answer = m_questions.ask(
            this, tr("Control question"),
            tr("Do you really want to change the IP port number ?") + u'\n' +
                tr("Change the analyzer port from %1 to %2?").arg(m_opened.port).arg(chosen.port),
            QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        if (answer == QMessageBox::Cancel)
            return; // the dialog stays open with what the operator entered
        if (answer == QMessageBox::No)
            SpinEditPortNumber->setValue(m_opened.port);
    }
    accept();
}

HostSettingsChoice TfrmHost::choice() const {
    HostSettingsChoice values = m_opened;
    values.originIndex = m_origin->checkedId() == 1 ? 1 : 0;
    values.autoHide = cbAutohide->isChecked();
    values.autoStart = cbAutostart->isChecked();
    values.autoCreate = cbCreatePatientAutomatically->isChecked();
    values.idReduction = std::max(0, m_idReduction->checkedId());
    values.interNetworking = cbOrvantaNetworking->isChecked();
    values.ipString = editIPaddress->text();
    // A port outside the field's range that the operator did not touch stays the port in use.
    if (SpinEditPortNumber->value() !=
        std::clamp(m_opened.port, SpinEditPortNumber->minimum(), SpinEditPortNumber->maximum()))
        values.port = SpinEditPortNumber->value();
    values.protocolIndex = protocolIndex();
    values.orvantaInterface = cbOrvantaCommunication->isChecked();
    values.relayDataToHost = cbRelayDataToHost->isChecked();
    values.includeChecksum = cbIncludeChecksum->isChecked();
    values.hostOther = editHostOther->text();
    values.portOther = editPortOther->value();
    values.filter194 = cbFilter194->isChecked();
    values.communicationTimeout = SpinEditCommunicationTimeout->value();
    values.monitorNetworkLocation = cbMonitorNetworkLocation->isChecked();
    values.duplicateXmlFiles = cbDuplicateXMLFiles->isChecked();
    values.duplicateToNetworkLocation = editDuplicateToNetworkLocation->text();
    values.report = reportChoice();
    return values;
}

bool TfrmHost::eventFilter(QObject* watched, QEvent* event) {
    // Leaving the location field makes its text a folder text.
    if (watched == editDuplicateToNetworkLocation && event->type() == QEvent::FocusOut) {
        const QString text = editDuplicateToNetworkLocation->text();
        if (!text.isEmpty())
            editDuplicateToNetworkLocation->setText(withTrailingSeparator(text));
    }
    return QDialog::eventFilter(watched, event);
}
