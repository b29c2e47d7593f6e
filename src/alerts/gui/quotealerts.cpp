#include "alerts/gui/quotealerts.h"

#include "alerts/gui/cdia_pricealert.h"
#include "alerts/gui/pricealertcentre.h"
#include "chart/graph.h"
#include "chart/quotechart.h"
#include "platform/textcodec.h"
#include "quotewin/gui/ckolpexview.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>

namespace {

const char kAlertMark[] = " [Alert]";

class QuoteAlertHook final : public QObject {
    Q_OBJECT
public:
    explicit QuoteAlertHook(CKolpexView& view)
        : QObject(&view)
        , m_view(view)
    {
        view.installEventFilter(this);
    }

    void OnQuote()
    {
        if (!Load())
            return;
        PriceAlertCentre* centre = PriceAlertCentre::Of(m_view);
        for (const PriceAlert& alert : m_watch.OnQuote(m_view.quote()))
            centre->Tell(m_view, NoticeFor(m_view.entry(), m_view.quote(), alert));
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != &m_view)
            return false;
        if (event->type() == QEvent::ContextMenu) {
            const auto* menuEvent = static_cast<QContextMenuEvent*>(event);
            ShowMenu(
                menuEvent->reason() == QContextMenuEvent::Mouse ? menuEvent->globalPos() : KeyboardPos());
            return true;
        }
        if (event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier) {
                ShowMenu(KeyboardPos());
                return true;
            }
        }
        return false;
    }

private:
    QPoint KeyboardPos() const { return m_view.mapToGlobal(QPoint(m_view.width() / 3, m_view.height() / 3)); }

    // The window's security is known once the view has its entry; its alerts are read then.
    bool Load()
    {
        PriceAlertCentre* centre = PriceAlertCentre::Of(m_view);
        if (m_view.isInert() || !centre || m_view.entry().symbol.empty())
            return false;
        if (m_security.empty()) {
            m_security = AlertSecurity(m_view.entry());
            connect(centre, &PriceAlertCentre::alertsChanged, this, [this, centre](const QString& security) {
                if (ToCp1252(security) == m_security)
                    Take(centre->AlertsFor(m_security));
            });
            Take(centre->AlertsFor(m_security));
        }
        return true;
    }

    void Take(const std::vector<PriceAlert>& alerts)
    {
        m_watch.SetAlerts(alerts);
        if (CGraph* chart = m_view.chart()) {
            const std::string title = QuoteChartTitle(m_view.entry()) + (alerts.empty() ? "" : kAlertMark);
            if (chart->title() != title) {
                chart->SetTitle(title);
                m_view.DrawChartNow();
            }
        }
    }

    void ShowMenu(const QPoint& where)
    {
        if (!Load())
            return;
        QMenu menu(&m_view);
        QAction* alert = menu.addAction(QStringLiteral("Price &Alert..."));
        if (menu.exec(where) == alert)
            EditAlerts();
    }

    void EditAlerts()
    {
        CDia_PriceAlert dialog(m_view.entry().symbol, m_watch.alerts(), &m_view);
        if (dialog.DoModal() != CDia_PriceAlert::Cancelled)
            PriceAlertCentre::Of(m_view)->Store(m_security, dialog.alerts());
    }

    CKolpexView& m_view;
    std::string m_security;
    AlertWatch m_watch;
};

} // namespace

void AttachPriceAlerts(CKolpexView& view)
{
    new QuoteAlertHook(view);
}

void CheckPriceAlerts(CKolpexView& view)
{
    if (auto* hook = view.findChild<QuoteAlertHook*>(QString(), Qt::FindDirectChildrenOnly))
        hook->OnQuote();
}

#include "quotealerts.moc"
