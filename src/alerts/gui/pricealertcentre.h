#pragma once

#include "alerts/alertfile.h"
#include "alerts/pricealert.h"
#include "platform/desktopnotifications.h"

#include <QObject>
#include <QPointer>
#include <map>
#include <string>
#include <vector>

class ChildWindowHost;
class CKolpexView;
class QWidget;

// The main frame's price alerts: the alerts file, the desktop's notifications and which quote
// window each notification is about, so that "Open" raises it. Made on first use as a child of
// the frame and lives as long as it; it knows the frame only as the host of its windows.
class PriceAlertCentre final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PriceAlertCentre)
public:
    // The centre of the frame the view is in; null while the view is in none.
    static PriceAlertCentre* Of(const CKolpexView& view);

    std::vector<PriceAlert> AlertsFor(const std::string& security);
    // Saves a security's alerts (an empty list removes them); the open windows of it take them up.
    bool Store(const std::string& security, const std::vector<PriceAlert>& alerts);
    // Tells the desktop; where no notification service answers, the main window asks for
    // attention and the status bar says it.
    void Tell(CKolpexView& view, const AlertNotice& notice);

Q_SIGNALS:
    void alertsChanged(const QString& security);

private:
    PriceAlertCentre(QWidget& window, ChildWindowHost& host);
    void Fallback(quint64 token);
    void Raise(uint notificationId);

    QWidget& m_window;
    ChildWindowHost& m_host;
    AlertFile m_file;
    DesktopNotifications m_notifications;
    struct Pending {
        QPointer<CKolpexView> view;
        std::string summary;
    };
    std::map<quint64, Pending> m_pending;
    std::map<uint, QPointer<CKolpexView>> m_shown;
};
