#pragma once

#include "platform/devicecontext.h"
#include "platform/gui/docview.h"
#include "quote/quoteentry.h"
#include "quote/quoterecord.h"
#include "quotewin/samplehistory.h"

#include <QBasicTimer>
#include <QRect>
#include <memory>
#include <string>

class CGraph;
class CKolpexDoc;
class ChildWindowHost;
class CQuoteManager;
class QFocusEvent;
class QKeyEvent;
class QPaintEvent;
class QPainter;
class QTimerEvent;
struct QuotePrintSnapshot;

// The quote window's view: one security's chart, info text and sample history, refreshed on
// timer 1. A view made while the pending list kind is not 0 stays inert.
class CKolpexView final : public CView {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CKolpexView)
public:
    CKolpexView(CDocument* doc, ChildWindowHost& frame);
    ~CKolpexView() override;

    bool OnCreate() override;
    void OnTimer(int id);
    void OnDraw(DeviceContext& dc);
    void OnProperties();

    bool HandlesCommand(int commandId) const override;
    void OnCommand(int commandId) override;

    // Draws the chart into the view's window now, not at the next paint message.
    void DrawChartNow();
    // What a printed page of this window shows (nothing for an inert window).
    QuotePrintSnapshot PrintSnapshot() const;

    bool isRefreshTimerActive() const { return m_refreshTimer.isActive(); }
    int refreshTimerPeriodMs() const { return m_refreshPeriodMs; }
    int refreshTimerStarts() const { return m_refreshTimerStarts; }
    CGraph* chart() const { return m_pChart.get(); }
    const QuoteEntry& entry() const { return m_entry; }
    QuoteEntry& entry() { return m_entry; }
    const QuoteRecord& quote() const { return m_quote; }
    const SampleHistory& samples() const { return m_samples; }
    bool isInert() const { return m_nKind != 0; }
    bool isTitlePending() const { return m_bTitlePending; }
    bool isRefreshHeld() const { return m_refreshHeld; }
    int drawCount() const { return m_drawCount; }

    // What the keyboard reaches: item 0 is the chart, items 1 to 24 the info lines, in panel
    // order; none before the first quote. The current one carries the focus frame.
    int itemCount() const;
    int currentItem() const { return m_currentItem; }
    void setCurrentItem(int index);
    // Where the last paint put the item, in the view's coordinates; empty when it is not drawn.
    QRect itemRect(int index) const;

    // Test hook: the length of a timer minute, so that a test can let a timer fire.
    static void SetMillisecondsPerMinuteForTesting(int ms);

protected:
    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    void StartRefreshTimer();
    void RunHeldRefresh();
    enum class Fetched { Quote, Nothing, ViewGone };
    Fetched Retrieve();
    Size FrameClientSize() const;
    void DrawFocusFrame(QPainter& painter) const;

    bool m_bTitlePending = true;
    int m_nKind;
    std::string m_strCaption;
    QuoteRecord m_quote;
    QuoteEntry m_entry;
    CKolpexDoc* m_pDoc;
    ChildWindowHost* m_pMainFrame;
    std::unique_ptr<CGraph> m_pChart;
    CQuoteManager* m_pQuoteManager;
    SampleHistory m_samples;

    QBasicTimer m_refreshTimer;
    int m_refreshPeriodMs = 0;
    int m_refreshTimerStarts = 0;
    int m_drawCount = 0;
    bool m_fetching = false; // this view's own retrieval is under way
    bool m_refreshHeld = false; // a tick came during another window's download
    int m_currentItem = 0;
};
