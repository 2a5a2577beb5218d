#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

#include "RunningCollector.h"
#include "ScriptedQuestions.h"
#include "SettingsDialogRunner.h"
#include "TfrmHost.h"

namespace {

// Acts on the settings dialog once it is open (from inside its modal loop).
void whenOpen(const std::function<void(TfrmHost&)>& act) {
    auto* poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, [poll, act] {
        auto* dialog = qobject_cast<TfrmHost*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        poll->stop();
        poll->deleteLater();
        act(*dialog);
    });
    poll->start();
}

template <typename Widget> Widget* child(TfrmHost& dialog, const char* name) {
    return dialog.findChild<Widget*>(QLatin1String(name));
}

int openDialogs() {
    int count = 0;
    for (QWidget* widget : QApplication::topLevelWidgets())
        count += qobject_cast<TfrmHost*>(widget) ? 1 : 0;
    return count;
}

} // namespace

TEST(SettingsDialogRunner, CancelSavesNothingAndASecondRequestWhileOpenDoesNothing) {
    TempRoot root;
    RunningCollector collector(root);
    ASSERT_TRUE(collector.started);
    const QByteArray before = root.readFile(root.layout().currentUserHiveFile);
    ScriptedQuestions questions;
    bool checked = false;
    whenOpen([&](TfrmHost& dialog) {
        EXPECT_TRUE(settingsDialogOpen());
        EXPECT_TRUE(collector->housekeepingSuspended());
        runSettingsDialog(*collector.collector, questions, nullptr);
        EXPECT_EQ(openDialogs(), 1) << "the second request opened nothing";
        child<QCheckBox>(dialog, "cbAutohide")->click();
        child<QSpinBox>(dialog, "SpinEditPortNumber")
            ->setValue(collector.port == 20000 ? 20001 : 20000);
        child<QPushButton>(dialog, "BitBtn2")->click();
        checked = true;
    });
    runSettingsDialog(*collector.collector, questions, nullptr);
    ASSERT_TRUE(checked);
    EXPECT_EQ(root.readFile(root.layout().currentUserHiveFile), before);
    EXPECT_FALSE(root.readFile(root.layout().localMachineHiveFile).contains("HKEY"));
    EXPECT_TRUE(questions.asked.isEmpty());
    EXPECT_EQ(collector->analyzerServer().Port(), collector.port);
    EXPECT_FALSE(collector->housekeepingSuspended());
    EXPECT_FALSE(settingsDialogOpen());
}

TEST(SettingsDialogRunner, OkSavesAfterThePortQuestionAndAsksAboutRecreatingPatients) {
    TempRoot root;
    RunningCollector collector(root);
    ASSERT_TRUE(collector.started);
    const int newPort = freeTcpPort();
    ScriptedQuestions questions;
    questions.answers = {QMessageBox::Yes, QMessageBox::No};
    whenOpen([&](TfrmHost& dialog) {
        child<QCheckBox>(dialog, "cbMonitorNetworkLocation")->setChecked(true);
        child<QSpinBox>(dialog, "SpinEditPortNumber")->setValue(newPort);
        child<QPushButton>(dialog, "BitBtn1")->click();
    });
    runSettingsDialog(*collector.collector, questions, nullptr);
    EXPECT_EQ(questions.asked,
              (QStringList{QStringLiteral("Control question: Do you really want to change the IP "
                                          "port number ?\nChange the analyzer port from %1 to %2?")
                               .arg(collector.port)
                               .arg(newPort),
                           "Settings: Do you want to recreate all patient data"}));
    EXPECT_EQ(collector->analyzerServer().Port(), newPort);
    EXPECT_TRUE(collector->analyzerServer().Active());
    EXPECT_TRUE(collector->state().monitorNetworkLocation);
    EXPECT_EQ(collector->settings().readInteger(QStringLiteral("Port"), 0), newPort);
    EXPECT_FALSE(collector->housekeepingSuspended());
}
