#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QSpinBox>
#include <QTest>

#include "ScriptedQuestions.h"
#include "TfrmHost.h"

namespace {

HostSettingsChoice opened() {
    HostSettingsChoice values;
    values.port = 13000;
    values.dataRoot = QStringLiteral("/srv/tca/DATA/");
    return values;
}

class SettingsDialog : public ::testing::Test {
protected:
    template <typename Widget = QWidget> Widget* find(const char* name) {
        auto* widget = dialog->findChild<Widget*>(QLatin1String(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    bool shown(const char* name) { return !find(name)->isHidden(); }
    QRadioButton* radio(const char* group, int index) {
        return find<QGroupBox>(group)->findChildren<QRadioButton*>().value(index);
    }
    void open(const HostSettingsChoice& values = opened()) {
        dialog = std::make_unique<TfrmHost>(values, questions);
    }

    ScriptedQuestions questions;
    std::unique_ptr<TfrmHost> dialog;
};

} // namespace

TEST_F(SettingsDialog, OpensNarrowWithTheControlsTextsAndRanges) {
    HostSettingsChoice values = opened();
    values.monitorNetworkLocation = true;
    values.port = 14000;
    open(values);
    EXPECT_EQ(dialog->windowTitle(), "Settings");
    EXPECT_EQ(dialog->width(), TfrmHost::kNarrowWidth);
    EXPECT_EQ(dialog->height(), TfrmHost::kHeight);
    EXPECT_TRUE(dialog->isNarrow());
    EXPECT_EQ(find<QCheckBox>("cbOrvantaNetworking")->text(), "Orvanta networking");
    EXPECT_EQ(find<QGroupBox>("GroupBox2")->title(), "TARVO/TARVOflex Port number");
    const auto* port = find<QSpinBox>("SpinEditPortNumber");
    EXPECT_EQ(port->minimum(), 1024);
    EXPECT_EQ(port->maximum(), 65535);
    EXPECT_EQ(port->value(), 14000);
    EXPECT_EQ(find<QSpinBox>("SpinEditCommunicationTimeout")->maximum(), 3600);
    EXPECT_EQ(find<QSpinBox>("editPortOther")->minimum(), 1024);
    EXPECT_EQ(find<QLabel>("lblMonitorNetworkLocation")->text(), "/srv/tca/DATA/");
    EXPECT_TRUE(find("rgPatientIDReduction")->toolTip().startsWith("Check None to use all"));
    EXPECT_TRUE(find("gbMonitorNetwork")->toolTip().contains("\nNormally you would not send"));
    EXPECT_EQ(find("cbFilter194")->toolTip(), QString::fromUtf8("Check to get µmol/L correctly "
                                                                "displayed"));
    EXPECT_FALSE(find("rgSettingsOrigin")->isVisibleTo(dialog.get()))
        << "narrow hides the advanced part";
    const HostSettingsChoice unchanged = dialog->choice();
    EXPECT_EQ(unchanged.port, 14000);
    EXPECT_EQ(unchanged.dataRoot, values.dataRoot);
}

TEST_F(SettingsDialog, VisibilityFollowsTheProtocolAndTheCheckBoxes) {
    open();
    struct Expected {
        int protocol;
        bool filter, relay, checksum, duplicate;
    };
    for (const Expected& e :
         {Expected{1, true, true, false, false}, Expected{2, true, true, true, false},
          Expected{0, false, false, false, true}}) {
        radio("rgCommunicationProtocol", e.protocol)->click();
        EXPECT_EQ(shown("cbFilter194"), e.filter) << e.protocol;
        EXPECT_EQ(shown("cbRelayDataToHost"), e.relay) << e.protocol;
        EXPECT_EQ(shown("cbIncludeChecksum"), e.checksum) << e.protocol;
        EXPECT_EQ(shown("gbDuplicateXMLFiles"), e.duplicate) << e.protocol;
        EXPECT_FALSE(shown("gbSettings")) << "relay box unchecked";
    }
    // The relay group needs the relay box and a protocol other than XML.
    find<QCheckBox>("cbRelayDataToHost")->click();
    EXPECT_FALSE(shown("gbSettings"));
    radio("rgCommunicationProtocol", 2)->click();
    EXPECT_TRUE(shown("gbSettings"));
    find<QCheckBox>("cbRelayDataToHost")->click();
    EXPECT_FALSE(shown("gbSettings"));

    EXPECT_FALSE(shown("lblMonitorNetworkLocation"));
    find<QCheckBox>("cbMonitorNetworkLocation")->click();
    EXPECT_TRUE(shown("lblMonitorNetworkLocation"));
    EXPECT_FALSE(shown("gbDataHost"));
    find<QCheckBox>("cbOrvantaNetworking")->click();
    EXPECT_TRUE(shown("gbDataHost"));
    find<QCheckBox>("cbOrvantaNetworking")->click();
    EXPECT_FALSE(shown("gbDataHost"));
}

TEST_F(SettingsDialog, OpeningAppliesTheRulesToTheLoadedValues) {
    HostSettingsChoice values = opened();
    values.protocolIndex = 1;
    values.relayDataToHost = true;
    values.interNetworking = true;
    values.networkingEnabled = false;
    open(values);
    EXPECT_TRUE(shown("gbSettings"));
    EXPECT_TRUE(shown("gbDataHost"));
    EXPECT_FALSE(shown("gbDuplicateXMLFiles"));
    EXPECT_FALSE(find("cbOrvantaNetworking")->isEnabled()) << "a data client is connected";
    EXPECT_FALSE(find("gbDataHost")->isEnabled());
}

TEST_F(SettingsDialog, AdvancedTogglesTheWidthAndNothingIsCutOff) {
    HostSettingsChoice values = opened();
    values.protocolIndex = 2;
    values.relayDataToHost = true;
    values.interNetworking = true;
    values.monitorNetworkLocation = true;
    values.dataRoot =
        QStringLiteral("/mnt/orvanta-database-server/shared/intensive-care/TCA/DATA/");
    open(values);
    dialog->show();
    for (int width : {TfrmHost::kWideWidth, TfrmHost::kNarrowWidth, TfrmHost::kWideWidth}) {
        find<QPushButton>("btnAdvanced")->click();
        QApplication::processEvents();
        EXPECT_EQ(dialog->width(), width);
        EXPECT_EQ(dialog->height(), TfrmHost::kHeight);
        EXPECT_EQ(find("rgSettingsOrigin")->isVisible(), width == TfrmHost::kWideWidth);
        const QSize needed = dialog->minimumSizeHint();
        EXPECT_LE(needed.width(), width) << "the controls fit the width";
        EXPECT_LE(needed.height(), TfrmHost::kHeight) << "the controls fit the height";
        for (const QWidget* child : dialog->findChildren<QWidget*>()) {
            if (!child->isVisible() || child->objectName().isEmpty())
                continue;
            const QRect area(child->mapTo(dialog.get(), QPoint()), child->size());
            EXPECT_TRUE(dialog->rect().contains(area))
                << child->objectName().toStdString() << " at width " << width;
        }
    }
}

TEST_F(SettingsDialog, LeavingTheLocationFieldMakesItAFolderText) {
    open();
    auto* location = find<QLineEdit>("editDuplicateToNetworkLocation");
    QFocusEvent leave(QEvent::FocusOut, Qt::TabFocusReason);
    location->setText(QStringLiteral("/mnt/share/copies"));
    QApplication::sendEvent(location, &leave);
    EXPECT_EQ(location->text(), "/mnt/share/copies/");
    QApplication::sendEvent(location, &leave);
    EXPECT_EQ(location->text(), "/mnt/share/copies/") << "once only";
    location->setText(QStringLiteral("C:\\Share\\"));
    QApplication::sendEvent(location, &leave);
    EXPECT_EQ(location->text(), "C:\\Share\\") << "a Windows folder text keeps its separator";
    location->clear();
    QApplication::sendEvent(location, &leave);
    EXPECT_EQ(location->text(), "");
    EXPECT_EQ(dialog->choice().duplicateToNetworkLocation, "");
}

TEST_F(SettingsDialog, OkWithoutAPortChangeAsksNothing) {
    open();
    find<QCheckBox>("cbAutostart")->click();
    find<QPushButton>("BitBtn1")->click();
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_TRUE(questions.asked.isEmpty());
    EXPECT_FALSE(dialog->choice().autoStart);
}

TEST_F(SettingsDialog, ThePortQuestionsThreeAnswers) {
    open();
    auto* port = find<QSpinBox>("SpinEditPortNumber");
    port->setValue(14001);

    questions.answers = {QMessageBox::Cancel};
    find<QPushButton>("BitBtn1")->click();
    ASSERT_EQ(questions.asked, QStringList{"Control question: Do you really want to change the IP "
                                           "port number ?\nChange the analyzer port from 13000 "
                                           "to 14001?"});
    EXPECT_NE(dialog->result(), QDialog::Accepted) << "Cancel keeps the dialog open";
    EXPECT_EQ(port->value(), 14001) << "with the edited value";

    questions.answers = {QMessageBox::No};
    find<QPushButton>("BitBtn1")->click();
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(port->value(), 13000) << "No puts the current port back";
    EXPECT_EQ(dialog->choice().port, 13000);

    open();
    find<QSpinBox>("SpinEditPortNumber")->setValue(14002);
    questions.answers = {QMessageBox::Yes};
    find<QPushButton>("BitBtn1")->click();
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(dialog->choice().port, 14002);
    EXPECT_EQ(questions.asked.size(), 3);
}

TEST_F(SettingsDialog, APortOutsideTheFieldsRangeStaysWhenNotTouched) {
    HostSettingsChoice values = opened();
    values.port = 80;
    open(values);
    EXPECT_EQ(find<QSpinBox>("SpinEditPortNumber")->value(), 1024);
    find<QPushButton>("BitBtn1")->click();
    EXPECT_TRUE(questions.asked.isEmpty());
    EXPECT_EQ(dialog->choice().port, 80);
}

TEST_F(SettingsDialog, TheChoiceHoldsWhatTheControlsShow) {
    open();
    radio("rgSettingsOrigin", 1)->click();
    radio("rgPatientIDReduction", 2)->click();
    radio("rgCommunicationProtocol", 2)->click();
    find<QCheckBox>("cbOrvantaCommunication")->setChecked(false);
    find<QCheckBox>("cbRelayDataToHost")->setChecked(true);
    find<QCheckBox>("cbIncludeChecksum")->setChecked(true);
    find<QCheckBox>("cbFilter194")->setChecked(true);
    find<QLineEdit>("editHostOther")->setText(QStringLiteral("lab"));
    find<QSpinBox>("editPortOther")->setValue(5000);
    find<QSpinBox>("SpinEditCommunicationTimeout")->setValue(0);
    find<QLineEdit>("editIPaddress")->setText(QStringLiteral("10.0.0.7"));
    const HostSettingsChoice choice = dialog->choice();
    EXPECT_EQ(choice.originIndex, 1);
    EXPECT_EQ(choice.idReduction, 2);
    EXPECT_EQ(choice.protocolIndex, 2);
    EXPECT_FALSE(choice.orvantaInterface);
    EXPECT_TRUE(choice.relayDataToHost);
    EXPECT_TRUE(choice.includeChecksum);
    EXPECT_TRUE(choice.filter194);
    EXPECT_EQ(choice.hostOther, "lab");
    EXPECT_EQ(choice.portOther, 5000);
    EXPECT_EQ(choice.communicationTimeout, 0);
    EXPECT_EQ(choice.ipString, "10.0.0.7");
}

TEST_F(SettingsDialog, ANumberOutsideItsFieldsRangeIsRefusedInWordsAndTheOldValueKept) {
    const struct {
        const char* field;
        const char* typed;
        Qt::Key end; // how the operator ends typing
        bool wide;   // the field is on the advanced part
    } cases[] = {
        {"SpinEditPortNumber", "70000", Qt::Key_Tab, false},
        {"SpinEditPortNumber", "80", Qt::Key_Return, false},
        {"editPortOther", "65536", Qt::Key_Tab, true},
        {"SpinEditCommunicationTimeout", "5000", Qt::Key_Return, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.field) + " " + c.typed);
        HostSettingsChoice values = opened();
        values.protocolIndex = 1; // the relay fields show with HL7 and the relay box
        values.relayDataToHost = true;
        values.portOther = 4000;
        values.communicationTimeout = 20;
        open(values);
        dialog->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
        if (c.wide)
            find<QPushButton>("btnAdvanced")->click();
        auto* field = find<QSpinBox>(c.field);
        const int before = field->value();
        auto* refusal = find<QLabel>((std::string(c.field) + "Refused").c_str());
        EXPECT_FALSE(refusal->isVisible());

        field->setFocus();
        QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(field, QLatin1String(c.typed));
        QTest::keyClick(field, c.end);
        EXPECT_EQ(field->value(), before) << "no digit is cut off, nothing is corrected";
        EXPECT_EQ(field->text(), QString::number(before));
        EXPECT_TRUE(refusal->isVisible());
        EXPECT_TRUE(refusal->text().contains(QLatin1String(c.typed)))
            << refusal->text().toStdString();
        EXPECT_TRUE(refusal->text().contains(QString::number(field->maximum())));

        // OK as the refusal is said keeps the dialog open; the next OK takes the old value.
        if (c.end != Qt::Key_Return)
            find<QPushButton>("BitBtn1")->click();
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_NE(dialog->result(), QDialog::Accepted);
        find<QPushButton>("BitBtn1")->click();
        EXPECT_EQ(dialog->result(), QDialog::Accepted);
        const HostSettingsChoice chosen = dialog->choice();
        EXPECT_EQ(chosen.port, 13000);
        EXPECT_EQ(chosen.portOther, 4000);
        EXPECT_EQ(chosen.communicationTimeout, 20);
        EXPECT_TRUE(questions.asked.isEmpty());
    }
}

TEST_F(SettingsDialog, ANumberInRangeIsTakenAndClearsTheRefusal) {
    open();
    dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    auto* field = find<QSpinBox>("SpinEditPortNumber");
    auto* refusal = find<QLabel>("SpinEditPortNumberRefused");
    field->setFocus();
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(field, QStringLiteral("99999"));
    QTest::keyClick(field, Qt::Key_Tab);
    ASSERT_TRUE(refusal->isVisible());
    field->setFocus();
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(field, QStringLiteral("14000"));
    QTest::keyClick(field, Qt::Key_Tab);
    EXPECT_EQ(field->value(), 14000);
    EXPECT_FALSE(refusal->isVisible());
    questions.answers = {QMessageBox::Yes};
    find<QPushButton>("BitBtn1")->click();
    EXPECT_EQ(dialog->result(), QDialog::Accepted) << "accepted at the first OK";
    EXPECT_EQ(dialog->choice().port, 14000);
}

TEST_F(SettingsDialog, TextFieldsShowTheirTypicalValueWhole) {
    HostSettingsChoice values = opened();
    values.protocolIndex = 1;
    values.relayDataToHost = true;
    values.interNetworking = true;
    values.hostOther = QStringLiteral("hospital.example.org");
    values.ipString = QStringLiteral("255.255.255.255");
    open(values);
    dialog->show();
    find<QPushButton>("btnAdvanced")->click();
    QApplication::processEvents();
    for (const char* name : {"editHostOther", "editIPaddress"}) {
        const auto* field = find<QLineEdit>(name);
        ASSERT_TRUE(field->isVisible()) << name;
        const int text = field->fontMetrics().horizontalAdvance(field->text());
        EXPECT_GE(field->contentsRect().width() - field->textMargins().left() -
                      field->textMargins().right(),
                  text)
            << name;
    }
}

TEST_F(SettingsDialog, OpensCentredOnTheMainWindow) {
    QWidget window;
    window.setGeometry(20, 20, 760, 560); // within the 800 x 600 offscreen screen
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    dialog = std::make_unique<TfrmHost>(opened(), questions, &window);
    const auto beforeTheWindow = qScopeGuard([this] { dialog.reset(); }); // its parent
    dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    const QPoint offset = dialog->frameGeometry().center() - window.frameGeometry().center();
    EXPECT_LE(offset.manhattanLength(), 4) << offset.x() << "," << offset.y();
}

TEST_F(SettingsDialog, TheReportSettingsOpenFromTheAdvancedPageAndComeBackAsEdited) {
    HostSettingsChoice values = opened();
    values.report = {QStringLiteral("engine.example"),
                     6661,
                     QStringLiteral("TarvoCollect"),
                     QStringLiteral("ICU-3"),
                     QStringLiteral("ENGINE"),
                     QStringLiteral("HOSP"),
                     false,
                     true};
    open(values);
    dialog->show();
    find<QPushButton>("btnAdvanced")->click();
    auto* report = find<QDialog>("gbReport");
    EXPECT_FALSE(report->isVisible());
    emit find<QLabel>("lblReportSettings")->linkActivated(QStringLiteral("report"));
    QApplication::processEvents();
    EXPECT_TRUE(report->isVisible());
    EXPECT_EQ(find<QLineEdit>("editReportHost")->text(), "engine.example");
    EXPECT_EQ(find<QSpinBox>("editReportPort")->value(), 6661);
    EXPECT_EQ(find<QLineEdit>("editReportReceivingFacility")->text(), "HOSP");
    find<QLineEdit>("editReportHost")->setText(QStringLiteral(" 10.1.2.3 "));
    find<QSpinBox>("editReportPort")->setValue(2575);
    find<QLineEdit>("editReportSendingFacility")->setText(QStringLiteral("ICU-4"));
    find<QCheckBox>("cbReportControls")->setChecked(true);
    EXPECT_TRUE(find<QCheckBox>("cbReportEvents")->isChecked());
    find<QCheckBox>("cbReportEvents")->setChecked(false);
    report->accept();
    const ReportChoice choice = dialog->choice().report;
    EXPECT_EQ(choice.host, "10.1.2.3");
    EXPECT_EQ(choice.port, 2575);
    EXPECT_EQ(choice.sendingApplication, "TarvoCollect");
    EXPECT_EQ(choice.sendingFacility, "ICU-4");
    EXPECT_EQ(choice.receivingApplication, "ENGINE");
    EXPECT_EQ(choice.receivingFacility, "HOSP");
    EXPECT_TRUE(choice.controls);
    EXPECT_FALSE(choice.events);
}
