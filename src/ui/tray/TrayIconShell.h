#pragma once

#include <QIcon>
#include <QObject>
#include <QString>
#include <QSystemTrayIcon>

// The notification area as the tray icon component sees it: add, change and remove one icon,
// and the activations of that icon. The real one lies over QSystemTrayIcon; tests put in their
// own to see what reaches the desktop and to make it refuse.
class TrayIconShell : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // Puts the icon into the notification area; false when the desktop refuses it.
    virtual bool add(const QIcon& icon, const QString& tip) = 0;
    // Changes the picture or the tip of the shown icon.
    virtual void modify(const QIcon& icon, const QString& tip) = 0;
    // Takes the icon out of the notification area; false when the desktop refuses.
    virtual bool remove() = 0;
    // A message beside the shown icon (a balloon); a notification area without them shows none.
    virtual void showMessage(const QString& title, const QString& text) {
        Q_UNUSED(title);
        Q_UNUSED(text);
    }

signals:
    void activated(QSystemTrayIcon::ActivationReason reason);
};

// The desktop's notification area through QSystemTrayIcon. Adding fails without a picture or
// when the desktop has no notification area (the availability check answers no).
class QtTrayIconShell : public TrayIconShell {
    Q_OBJECT

public:
    explicit QtTrayIconShell(std::function<bool()> available, QObject* parent = nullptr);

    bool add(const QIcon& icon, const QString& tip) override;
    void modify(const QIcon& icon, const QString& tip) override;
    bool remove() override;
    void showMessage(const QString& title, const QString& text) override;

private:
    std::function<bool()> m_available;
    QSystemTrayIcon m_icon;
};
