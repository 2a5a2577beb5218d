#include "TrayIconShell.h"

QtTrayIconShell::QtTrayIconShell(std::function<bool()> available, QObject* parent)
    : TrayIconShell(parent), m_available(std::move(available)) {
    connect(&m_icon, &QSystemTrayIcon::activated, this, &TrayIconShell::activated);
}

bool QtTrayIconShell::add(const QIcon& icon, const QString& tip) {
    if (icon.isNull() || !m_available())
        return false;
    m_icon.setIcon(icon);
    m_icon.setToolTip(tip);
    m_icon.show();
    return m_icon.isVisible();
}

void QtTrayIconShell::modify(const QIcon& icon, const QString& tip) {
    if (!icon.isNull())
        m_icon.setIcon(icon);
    m_icon.setToolTip(tip);
}

bool QtTrayIconShell::remove() {
    m_icon.hide();
    return !m_icon.isVisible();
}

void QtTrayIconShell::showMessage(const QString& title, const QString& text) {
    if (m_icon.isVisible())
        m_icon.showMessage(title, text, QSystemTrayIcon::Warning, 0);
}
