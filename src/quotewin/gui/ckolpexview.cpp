#include "quotewin/gui/ckolpexview.h"

#include "alerts/gui/quotealerts.h"
#include "chart/graph.h"
#include "chart/graphgeometry.h"
#include "chart/quotechart.h"
#include "markets/gui/childwindowhost.h"
#include "markets/gui/ckolpexdoc.h"
#include "markets/liststate.h"
#include "platform/clock.h"
#include "platform/qpainterdevicecontext.h"
#include "platform/waitcursor.h"
#include "quote/quotemanager.h"
#include "quotewin/datafile.h"
#include "quotewin/gui/cdia_parameters.h"
#include "quotewin/gui/quoteprinting.h"
#include "quotewin/gui/quoteviewaccessible.h"
#include "quotewin/properties.h"
#include "quotewin/quoterefresh.h"
#include "res/resource_ids.h"

#include <QMdiSubWindow>
#include <QPaintEvent>
#include <QPainter>
#include <QPointer>
#include <QTimerEvent>

namespace {
int g_millisecondsPerMinute = 60'000;
}

void CKolpexView::SetMillisecondsPerMinuteForTesting(int ms)
{
    g_millisecondsPerMinute = ms > 0 ? ms : 60'000;
}

CKolpexView::CKolpexView(CDocument* doc, ChildWindowHost& frame)
    : CView(doc)
    , m_nKind(g_pendingListKind)
    , m_pDoc(qobject_cast<CKolpexDoc*>(doc))
    , m_pMainFrame(&frame)
    , m_pQuoteManager(frame.quoteManager())
{
    setAttribute(Qt::WA_OpaquePaintEvent); // the chart paints every pixel of its frame
    if (m_nKind == 0)
        setFocusPolicy(Qt::StrongFocus); // its figures are read line by line from the keyboard
    InstallQuoteViewAccessibility();
    AttachPriceAlerts(*this);
    frame.onQuoteFetchEnded(this, [this] { RunHeldRefresh(); });
}

CKolpexView::~CKolpexView()
{
    m_refreshTimer.stop();
    if (m_nKind == 0) {
        // Runs while the window goes away: WriteDataFile reports its own failures and never throws.
        if (m_entry.writeToFile)
            WriteDataFile(m_samples.records(), m_entry.symbol, m_pQuoteManager->notifier(),
                IsSimulatedName(m_entry.companyName));
        if (m_pDoc) {
            if (m_pDoc->m_pChart == m_pChart.get())
                m_pDoc->m_pChart = nullptr;
            if (m_pDoc->m_pDC == this)
                m_pDoc->m_pDC = nullptr;
        }
        m_pChart.reset();
    }
}

bool CKolpexView::OnCreate()
{
    if (m_pDoc)
        m_pDoc->m_pMainFrame = m_pMainFrame;
    if (m_nKind != 0)
        return true;

    m_entry.countryCode.clear();
    m_entry.symbol.clear();
    m_entry.companyName.clear();
    m_entry.volume.clear();
    m_entry.listed.clear();
    m_quote.Reset();

    m_pChart = std::make_unique<CGraph>([this] { return FrameClientSize(); });
    if (m_pDoc) {
        m_pDoc->m_pChart = m_pChart.get();
        m_pDoc->m_pDC = this;
    }

    m_entry = m_pMainFrame->currentEntry();
    ComposeQuoteChart(*m_pChart, m_entry);

    const Fetched fetched = Retrieve();
    if (fetched == Fetched::ViewGone)
        return false;
    if (fetched == Fetched::Quote) {
        if (ApplyQuoteToChart(*m_pChart, m_quote, m_entry, Clock::Now()))
            DrawChartNow();
        m_samples.Add(m_quote);
        StartRefreshTimer();
        TellItemFocused(*this);
        CheckPriceAlerts(*this);
    }
    update();
    return true;
}

CKolpexView::Fetched CKolpexView::Retrieve()
{
    // The download spins an event loop in which this window may be closed and deleted, so the
    // results go to locals and reach the members only while the view still exists.
    const QPointer<CKolpexView> self(this);
    QuoteEntry entry = m_entry;
    QuoteRecord quote = m_quote;
    bool ok = false;
    m_fetching = true;
    {
        WaitCursor wait;
        ok = m_pQuoteManager->FetchQuote(&entry, &quote);
    }
    if (!self)
        return Fetched::ViewGone;
    m_fetching = false;
    if (m_entry.companyName.empty())
        m_entry.companyName = entry.companyName; // learnt from the page, even by a failed fetch
    if (!ok)
        return Fetched::Nothing;
    m_quote = quote;
    return Fetched::Quote;
}

void CKolpexView::OnTimer(int id)
{
    if (id != ids::REFRESH_TIMER_ID)
        return;
    if (CQuoteManager::FetchInProgress()) {
        // Another window's download: this refresh runs as soon as it is over. One that comes
        // while a failure message is open, or during this window's own retrieval, is skipped.
        if (!m_fetching && !m_pMainFrame->fetchMessageOpen())
            m_refreshHeld = true;
        return;
    }
    m_refreshHeld = false;
    const QuoteRecord before = m_quote;
    if (Retrieve() != Fetched::Quote)
        return;
    if (m_pChart && ApplyQuoteToChart(*m_pChart, m_quote, m_entry, Clock::Now()))
        DrawChartNow();
    m_samples.Add(m_quote);
    AnnounceRefresh(*this, before);
    CheckPriceAlerts(*this);
}

void CKolpexView::RunHeldRefresh()
{
    if (m_refreshHeld && !CQuoteManager::FetchInProgress())
        OnTimer(ids::REFRESH_TIMER_ID);
}

void CKolpexView::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == m_refreshTimer.timerId())
        OnTimer(ids::REFRESH_TIMER_ID);
    else
        CView::timerEvent(event);
}

void CKolpexView::StartRefreshTimer()
{
    m_refreshPeriodMs = RefreshPeriodMs(m_entry.refreshInterval, g_millisecondsPerMinute);
    // Precise: Qt lines up coarse timers of equal period, which would make one window's tick land
    // inside another's download every time, and be skipped every time. start() replaces a
    // running timer.
    m_refreshTimer.start(m_refreshPeriodMs, Qt::PreciseTimer, this);
    ++m_refreshTimerStarts;
}

void CKolpexView::OnDraw(DeviceContext& dc)
{
    CDocument* doc = GetDocument();
    if (!doc || m_nKind != 0)
        return;
    if (m_bTitlePending) {
        m_bTitlePending = false;
        doc->SetTitle(m_entry.companyName);
        doc->UpdateAllViews(this);
    }
    if (m_pChart) {
        m_pChart->Draw(dc);
        ++m_drawCount;
    }
}

void CKolpexView::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), Qt::white);
    QPainterDeviceContext dc(painter);
    OnDraw(dc);
    DrawFocusFrame(painter);
}

void CKolpexView::DrawChartNow()
{
    // Painting happens only inside a paint event here, so the "draw at once" is a synchronous
    // repaint; a window that is not shown yet gets its picture at its first paint.
    if (isVisible())
        repaint();
}

QuotePrintSnapshot CKolpexView::PrintSnapshot() const
{
    QuotePrintSnapshot page;
    page.viewSize = size();
    if (GetDocument() && m_nKind == 0 && m_pChart) {
        page.chart = *m_pChart;
        // Laid out for the window as it is now, and never asked again: the window may be gone
        // by the time the page is drawn.
        page.chart->m_outerRect
            = GraphGeometry::FitOuterRect(FrameClientSize(), page.chart->m_sideInset, page.chart->m_topInset);
        page.chart->m_fitToParent = false;
    }
    return page;
}

Size CKolpexView::FrameClientSize() const
{
    for (QWidget* w = parentWidget(); w; w = w->parentWidget()) {
        if (auto* frame = qobject_cast<QMdiSubWindow*>(w)) {
            const QSize size = frame->contentsRect().size();
            return Size { size.width(), size.height() };
        }
    }
    return Size { width(), height() };
}

void CKolpexView::OnProperties()
{
    const bool easternTimeBefore = m_entry.easternTime;
    const int intervalBefore = m_entry.refreshInterval;

    CDia_Parameters dialog(this);
    dialog.m_pGraph = m_pChart.get();
    dialog.m_pEntry = &m_entry;
    if (dialog.DoModal() != QDialog::Accepted)
        return;

    if (TickerSettingsChanged(easternTimeBefore, intervalBefore, m_entry)) {
        if (m_pChart)
            m_pChart->SetSeriesName(0, m_strCaption = XAxisCaption(m_entry));
        StartRefreshTimer();
    }
    if (m_pChart)
        DrawChartNow();
}

bool CKolpexView::HandlesCommand(int commandId) const
{
    switch (commandId) {
    case ids::ID_PROPERTIES:
    case ids::ID_FILE_PRINT:
    case ids::ID_FILE_PRINT_DIRECT:
    case ids::ID_FILE_PRINT_PREVIEW:
        return true;
    default:
        return false;
    }
}

void CKolpexView::OnCommand(int commandId)
{
    switch (commandId) {
    case ids::ID_PROPERTIES:
        OnProperties();
        break;
    case ids::ID_FILE_PRINT:
        PrintQuotePage(PrintSnapshot(), this);
        break;
    case ids::ID_FILE_PRINT_DIRECT:
        PrintQuotePageDirect(PrintSnapshot(), this);
        break;
    case ids::ID_FILE_PRINT_PREVIEW:
        PreviewQuotePage(PrintSnapshot(), this);
        break;
    default:
        break;
    }
}
