#pragma once

#include <functional>
#include <memory>

#include <QIcon>
#include <QObject>
#include <QString>
#include <QSystemTrayIcon>

#include "TrayIconShell.h"

// The program's icon in the notification area. Showing and hiding never fail towards the
// caller: when the desktop refuses, the failure is logged and the icon keeps its state.
class TTaskbarIconControler : public QObject {
    Q_OBJECT

public:
    using Logger = std::function<void(const QString& line)>;
    using AvailabilityCheck = std::function<bool()>;

    static constexpr int kHintLength = 63;
    static constexpr auto kCouldNotAdd = "Exception: Could not Add Icon";
    static constexpr auto kCouldNotDelete = "Exception: Could not Delete Icon";

    // The real notification area; available defaults to QSystemTrayIcon::isSystemTrayAvailable.
    explicit TTaskbarIconControler(Logger log, AvailabilityCheck available = {},
                                   QObject* parent = nullptr);
    // Another notification area (tests).
    TTaskbarIconControler(Logger log, AvailabilityCheck available,
                          std::unique_ptr<TrayIconShell> shell, QObject* parent = nullptr);
    // Removes the icon.
    ~TTaskbarIconControler() override;

    QString About() const;

    QString Hint() const { return m_hint; }
    void setHint(const QString& hint);
    // The tooltip the notification area gets: the first 63 characters of the hint.
    QString shownHint() const { return m_hint.left(kHintLength); }

    QIcon Icon() const { return m_icon; }
    void setIcon(const QIcon& icon);

    bool shown() const { return m_shown; }
    void setShown(bool shown);
    void Show() { setShown(true); }
    void Hide() { setShown(false); }
    // A message beside the icon while it is shown.
    void showMessage(const QString& title, const QString& text);

    // Whether the desktop has a notification area; without one a hidden window cannot be
    // reached again, so the window minimises instead of hiding.
    bool available() const;

public slots:
    // The mouse events of the icon, as the desktop reports them.
    void handleActivation(QSystemTrayIcon::ActivationReason reason);

signals:
    // A click (any button released): the window is shown again.
    void clicked();
    void doubleClicked();
    void mouseDown(Qt::MouseButton button);
    void mouseUp(Qt::MouseButton button);

private:
    Logger m_log;
    AvailabilityCheck m_available;
    std::unique_ptr<TrayIconShell> m_shell;
    QString m_hint;
    QIcon m_icon;
    bool m_shown = false;
    bool m_noAreaSaid = false;
};
