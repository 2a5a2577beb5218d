#pragma once

#include <QDialog>

#include "HostSettings.h"

class OperatorQuestions;
class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLayout;
class QLineEdit;
class QPushButton;
class RangeSpinBox;

// The settings dialog: shows the values it is opened with, lets the operator edit them, and
// hands the edited values back (choice()) when it is confirmed. It reads and writes no settings
// itself. Narrow (450 wide) it shows the everyday settings; "Advanced" widens it to 765 for the
// settings origin, the protocol, the relay and XML duplication.
class TfrmHost : public QDialog {
    Q_OBJECT

public:
    static constexpr int kWideWidth = 765;
    static constexpr int kNarrowWidth = 450;
    static constexpr int kHeight = 430;

    TfrmHost(const HostSettingsChoice& values, OperatorQuestions& questions,
             QWidget* parent = nullptr);

    // The values as the controls hold them now.
    HostSettingsChoice choice() const;

    bool isNarrow() const { return width() < 500; }

public slots:
    void btnAdvancedClick();
    // OK: asks before the analyzer port changes.
    void BitBtn1Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createControls();
    QWidget* createBasicPart();
    // The analyzer link: networking, data host, port, folder monitoring.
    QLayout* createLinkFields(QWidget* part);
    QLayout* createPatientOptions(QWidget* part);
    QWidget* createAdvancedPart();
    // Settings origin, the Orvanta interface, the protocol and the switches beside it.
    void createProtocolControls(QWidget* part);
    // The host the data are relayed to.
    QWidget* createRelayGroup(QWidget* part);
    QWidget* createDuplicateGroup(QWidget* part);
    // The Report settings: results to the hospital's integration engine.
    QWidget* createReportGroup(QWidget* parent);
    void loadReport(const ReportChoice& values);
    ReportChoice reportChoice() const;
    void load(const HostSettingsChoice& values);
    void setNarrow(bool narrow);
    // Which controls are shown for the protocol and the check boxes.
    void applyVisibility();
    int protocolIndex() const;
    // Remembers a number the field refused until the field takes a value, so that OK pressed
    // meanwhile keeps the dialog open once on the explanation.
    void watchRefusals(RangeSpinBox* field);

    OperatorQuestions& m_questions;
    HostSettingsChoice m_opened;
    RangeSpinBox* m_refusedField = nullptr;

    QCheckBox* cbOrvantaNetworking = nullptr;
    QGroupBox* gbDataHost = nullptr;
    QLineEdit* editIPaddress = nullptr;
    QGroupBox* GroupBox2 = nullptr;
    RangeSpinBox* SpinEditPortNumber = nullptr;
    QGroupBox* gbMonitorNetwork = nullptr;
    QCheckBox* cbMonitorNetworkLocation = nullptr;
    QLabel* lblMonitorNetworkLocation = nullptr;
    QCheckBox* cbCreatePatientAutomatically = nullptr;
    QGroupBox* rgPatientIDReduction = nullptr;
    QButtonGroup* m_idReduction = nullptr;
    QPushButton* btnAdvanced = nullptr;
    QCheckBox* cbAutostart = nullptr;
    QCheckBox* cbAutohide = nullptr;
    QWidget* m_advanced = nullptr;
    QGroupBox* rgSettingsOrigin = nullptr;
    QButtonGroup* m_origin = nullptr;
    QCheckBox* cbOrvantaCommunication = nullptr;
    QGroupBox* rgCommunicationProtocol = nullptr;
    QButtonGroup* m_protocol = nullptr;
    QCheckBox* cbFilter194 = nullptr;
    QCheckBox* cbRelayDataToHost = nullptr;
    QCheckBox* cbIncludeChecksum = nullptr;
    QGroupBox* gbSettings = nullptr;
    QLineEdit* editHostOther = nullptr;
    RangeSpinBox* editPortOther = nullptr;
    RangeSpinBox* SpinEditCommunicationTimeout = nullptr;
    QGroupBox* gbDuplicateXMLFiles = nullptr;
    QCheckBox* cbDuplicateXMLFiles = nullptr;
    QLineEdit* editDuplicateToNetworkLocation = nullptr;
    QLabel* lblReportSettings = nullptr;
    QDialog* gbReport = nullptr;
    QLineEdit* editReportHost = nullptr;
    RangeSpinBox* editReportPort = nullptr;
    QLineEdit* editReportSendingApplication = nullptr;
    QLineEdit* editReportSendingFacility = nullptr;
    QLineEdit* editReportReceivingApplication = nullptr;
    QLineEdit* editReportReceivingFacility = nullptr;
    QCheckBox* cbReportControls = nullptr;
    QCheckBox* cbReportEvents = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QPushButton* BitBtn2 = nullptr;
};
