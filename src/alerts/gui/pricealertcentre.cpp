#include "alerts/gui/pricealertcentre.h"

#include "markets/gui/childwindowhost.h"
#include "platform/textcodec.h"
#include "quotewin/gui/ckolpexview.h"

#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>

PriceAlertCentre* PriceAlertCentre::Of(const CKolpexView& view)
{
    QWidget* window = view.window();
    auto* host = dynamic_cast<ChildWindowHost*>(window);
    if (!host)
        return nullptr;
    auto* centre = window->findChild<PriceAlertCentre*>(QString(), Qt::FindDirectChildrenOnly);
    return centre ? centre : new PriceAlertCentre(*window, *host);
}

PriceAlertCentre::PriceAlertCentre(QWidget& window, ChildWindowHost& host)
    : QObject(&window)
    , m_window(window)
    , m_host(host)
{
    connect(&m_notifications, &DesktopNotifications::shown, this, [this](quint64 token, uint id) {
        if (const auto it = m_pending.find(token); it != m_pending.end()) {
            m_shown[id] = it->second.view;
            m_pending.erase(it);
        }
    });
    connect(&m_notifications, &DesktopNotifications::unavailable, this, &PriceAlertCentre::Fallback);
    connect(&m_notifications, &DesktopNotifications::opened, this, &PriceAlertCentre::Raise);
}

std::vector<PriceAlert> PriceAlertCentre::AlertsFor(const std::string& security)
{
    m_file.Load();
    return m_file.AlertsFor(security);
}

bool PriceAlertCentre::Store(const std::string& security, const std::vector<PriceAlert>& alerts)
{
    if (!m_file.Store(security, alerts, m_host.notifier()))
        return false;
    Q_EMIT alertsChanged(FromCp1252(security));
    return true;
}

void PriceAlertCentre::Tell(CKolpexView& view, const AlertNotice& notice)
{
    const quint64 token = m_notifications.notify(FromCp1252(notice.summary), FromCp1252(notice.body));
    m_pending[token] = Pending { &view, notice.summary };
}

void PriceAlertCentre::Fallback(quint64 token)
{
    const auto it = m_pending.find(token);
    if (it == m_pending.end())
        return;
    const std::string summary = it->second.summary;
    m_pending.erase(it);
    QApplication::alert(&m_window);
    m_host.SetMessageText("Price alert: " + summary);
}

void PriceAlertCentre::Raise(uint notificationId)
{
    const auto it = m_shown.find(notificationId);
    if (it == m_shown.end() || !it->second)
        return;
    CKolpexView* view = it->second;
    for (QWidget* w = view->parentWidget(); w; w = w->parentWidget()) {
        if (auto* frame = qobject_cast<QMdiSubWindow*>(w)) {
            if (frame->isMinimized())
                frame->showNormal();
            if (QMdiArea* area = frame->mdiArea())
                area->setActiveSubWindow(frame);
            break;
        }
    }
    if (m_window.isMinimized())
        m_window.showNormal();
    m_window.raise();
    m_window.activateWindow();
    view->setFocus();
}
