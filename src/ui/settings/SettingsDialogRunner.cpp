#include "SettingsDialogRunner.h"

#include "Collector.h"
#include "HostSettings.h"
#include "OperatorQuestions.h"
#include "TarvoError.h"
#include "TfrmHost.h"

namespace {

bool g_open = false;

// Marks the dialog open and the housekeeping timer paused for as long as it lives.
class OpenDialog {
public:
    explicit OpenDialog(Collector& collector) : m_collector(collector) {
        g_open = true;
        m_collector.suspendHousekeeping();
    }
    ~OpenDialog() {
        m_collector.resumeHousekeeping();
        g_open = false;
    }
    OpenDialog(const OpenDialog&) = delete;
    OpenDialog& operator=(const OpenDialog&) = delete;

private:
    Collector& m_collector;
};

} // namespace

bool settingsDialogOpen() {
    return g_open;
}

void runSettingsDialog(Collector& collector, OperatorQuestions& questions, QWidget* parent) {
    if (g_open)
        return;
    const OpenDialog open(collector);
    HostSettingsChoice chosen;
    {
        TfrmHost dialog(HostSettings::Load(collector), questions, parent);
        if (dialog.exec() != QDialog::Accepted)
            return; // nothing is saved
        chosen = dialog.choice();
    }
    try {
        HostSettings::Save(collector, chosen, [&] {
            return questions.ask(parent, TfrmHost::tr("Settings"),
                                 TfrmHost::tr("Do you want to recreate all patient data"),
                                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
        });
    } catch (const std::exception& error) {
        collector.handleApplicationError(describeError(error));
    }
}
