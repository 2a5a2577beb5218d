#include "TTaskbarIconControler.h"

#include <QCoreApplication>

#include "TFileVersionScanner.h"

namespace {

TTaskbarIconControler::AvailabilityCheck orDefault(TTaskbarIconControler::AvailabilityCheck check) {
    if (check)
        return check;
    return [] {
        return QSystemTrayIcon::isSystemTrayAvailable();
    };
}

} // namespace

TTaskbarIconControler::TTaskbarIconControler(Logger log, AvailabilityCheck available,
                                             QObject* parent)
    : TTaskbarIconControler(std::move(log), orDefault(available), nullptr, parent) {}

TTaskbarIconControler::TTaskbarIconControler(Logger log, AvailabilityCheck available,
                                             std::unique_ptr<TrayIconShell> shell, QObject* parent)
    : QObject(parent), m_log(std::move(log)), m_available(orDefault(std::move(available))),
      m_shell(std::move(shell)) {
    if (!m_shell)
        m_shell = std::make_unique<QtTrayIconShell>(m_available);
    connect(m_shell.get(), &TrayIconShell::activated, this,
            &TTaskbarIconControler::handleActivation);
}

TTaskbarIconControler::~TTaskbarIconControler() {
    if (m_shown)
        m_shell->remove();
}

QString TTaskbarIconControler::About() const {
    return QCoreApplication::applicationName() + QStringLiteral(" notification icon, ") +
           TFileVersionScanner().GetVersion();
}

void TTaskbarIconControler::setHint(const QString& hint) {
    if (hint == m_hint)
        return;
    m_hint = hint;
    if (m_shown)
        m_shell->modify(m_icon, shownHint());
}

void TTaskbarIconControler::setIcon(const QIcon& icon) {
    m_icon = icon;
    if (m_shown)
        m_shell->modify(m_icon, shownHint());
}

void TTaskbarIconControler::setShown(bool shown) {
    if (shown == m_shown)
        return;
    // The desktop's refusal is this component's own failure: logged here, never passed on.
    if (shown) {
        if (m_shell->add(m_icon, shownHint())) {
            m_shown = true;
        } else if (m_log && !(m_noAreaSaid && !m_available())) {
            // A desktop without a notification area refuses every time: said once.
            m_log(QLatin1String(kCouldNotAdd));
            m_noAreaSaid = !m_available();
        }
    } else {
        if (m_shell->remove())
            m_shown = false;
        else if (m_log)
            m_log(QLatin1String(kCouldNotDelete));
    }
}

void TTaskbarIconControler::showMessage(const QString& title, const QString& text) {
    if (m_shown)
        m_shell->showMessage(title, text);
}

bool TTaskbarIconControler::available() const {
    return m_available();
}

void TTaskbarIconControler::handleActivation(QSystemTrayIcon::ActivationReason reason) {
    Qt::MouseButton button = Qt::NoButton;
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        button = Qt::LeftButton;
        break;
    case QSystemTrayIcon::Context:
        button = Qt::RightButton;
        break;
    case QSystemTrayIcon::MiddleClick:
        button = Qt::MiddleButton;
        break;
    case QSystemTrayIcon::DoubleClick:
        emit doubleClicked();
        return;
    case QSystemTrayIcon::Unknown:
        return;
    }
    // The desktop reports a finished click; the button went down and came up again.
    emit mouseDown(button);
    emit mouseUp(button);
    emit clicked();
}
