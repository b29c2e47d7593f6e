#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <memory>

class NotificationsProxy;

// The desktop's notifications (org.freedesktop.Notifications on the session bus) as the program
// uses them: app name "Kolpex", the desktop entry "kolpex", an action "Open". Nothing blocks:
// each notify() is answered later by shown() or, when no service answers, unavailable().
class DesktopNotifications final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DesktopNotifications)
public:
    explicit DesktopNotifications(QObject* parent = nullptr);
    ~DesktopNotifications() override;

    // Texts in UTF-16 (convert at the edge). Returns the token its answer carries.
    quint64 notify(const QString& summary, const QString& body);
    // Whether notifications offer "Open" (only where there is a window to open); on at first.
    void setOpenAction(bool offered) { m_openAction = offered; }

Q_SIGNALS:
    void shown(quint64 token, uint notificationId);
    void unavailable(quint64 token, const QString& reason);
    // The user chose "Open" (or the notification itself) on one of ours.
    void opened(uint notificationId);

private:
    void listen();
    QDBusConnection m_bus;
    std::unique_ptr<NotificationsProxy> m_proxy;
    quint64 m_nextToken = 1;
    bool m_openAction = true;
};
