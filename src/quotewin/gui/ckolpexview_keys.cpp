// The quote view from the keyboard: the chart and the info lines as items, the arrow keys
// between them, a focus frame on the current one while the view has the focus.
#include "chart/graph.h"
#include "quotewin/gui/ckolpexview.h"
#include "quotewin/gui/quoteviewaccessible.h"
#include "quotewin/quotereading.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QTimer>
#include <algorithm>

int CKolpexView::itemCount() const
{
    if (!m_pChart || m_pChart->rows().empty())
        return 0;
    return 1 + static_cast<int>(ChartInfoLines(*m_pChart).size());
}

void CKolpexView::setCurrentItem(int index)
{
    const int count = itemCount();
    if (count == 0)
        return;
    index = std::clamp(index, 0, count - 1);
    if (index == m_currentItem)
        return;
    const QRect before = itemRect(m_currentItem);
    m_currentItem = index;
    if (hasFocus()) {
        update(before.adjusted(-2, -2, 2, 2));
        update(itemRect(m_currentItem).adjusted(-2, -2, 2, 2));
        TellItemFocused(*this);
    }
}

QRect CKolpexView::itemRect(int index) const
{
    if (!m_pChart || index < 0 || index >= itemCount())
        return {};
    Rect r;
    if (index == 0) {
        r = m_pChart->m_plotRect;
    } else {
        const auto& lines = m_pChart->m_infoLineRects;
        if (static_cast<std::size_t>(index - 1) >= lines.size())
            return {};
        r = lines[static_cast<std::size_t>(index - 1)];
    }
    return QRect(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1));
}

void CKolpexView::keyPressEvent(QKeyEvent* event)
{
    const int count = itemCount();
    int wanted = -1;
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Left:
        wanted = m_currentItem - 1;
        break;
    case Qt::Key_Down:
    case Qt::Key_Right:
        wanted = m_currentItem + 1;
        break;
    case Qt::Key_Home:
    case Qt::Key_PageUp:
        wanted = 0;
        break;
    case Qt::Key_End:
    case Qt::Key_PageDown:
        wanted = count - 1;
        break;
    default:
        break;
    }
    if (wanted < 0 || count == 0 || event->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) {
        CView::keyPressEvent(event);
        return;
    }
    setCurrentItem(wanted);
    event->accept();
}

void CKolpexView::focusInEvent(QFocusEvent* event)
{
    CView::focusInEvent(event);
    update();
    // After Qt has told of the view's own focus, which would otherwise come last and hide the item.
    QTimer::singleShot(0, this, [this] { TellItemFocused(*this); });
}

void CKolpexView::focusOutEvent(QFocusEvent* event)
{
    CView::focusOutEvent(event);
    update(); // the frame goes; the chart itself looks as it did
}

bool CKolpexView::focusNextPrevChild(bool next)
{
    // The quote is its window's only stop: Tab and Shift+Tab go through its items like the arrow
    // keys, round at the ends, rather than drop the focus silently into another window.
    if (m_nKind != 0)
        return CView::focusNextPrevChild(next);
    if (const int count = itemCount(); count > 0)
        setCurrentItem((m_currentItem + (next ? 1 : count - 1)) % count);
    return true;
}

void CKolpexView::DrawFocusFrame(QPainter& painter) const
{
    if (!hasFocus())
        return;
    const QRect r = itemRect(m_currentItem);
    if (r.isEmpty())
        return;
    painter.setPen(QPen(palette().color(QPalette::Highlight), 1, Qt::DotLine));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(r.adjusted(0, 0, -1, -1));
}
