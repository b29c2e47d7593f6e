#include "quotewin/gui/quoteviewaccessible.h"

#include "chart/graph.h"
#include "platform/textcodec.h"
#include "quote/quoterecord.h"
#include "quotewin/gui/ckolpexview.h"
#include "quotewin/quotereading.h"

#include <QAccessible>
#include <QAccessibleObject>
#include <QAccessibleValueInterface>
#include <QAccessibleWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <vector>

namespace {

class QuoteViewAccessible;

// One item under the view: the chart (index 0) or an info line (1 to 24). It has no object of its
// own, so the view's interface keeps it registered and takes it away.
class QuoteItemAccessible final : public QAccessibleInterface {
public:
    QuoteItemAccessible(QuoteViewAccessible& view, int index)
        : m_view(view)
        , m_index(index)
    {
    }
    bool isValid() const override;
    QObject* object() const override { return nullptr; }
    QWindow* window() const override;
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* parent() const override;
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QString text(QAccessible::Text t) const override;
    void setText(QAccessible::Text, const QString&) override { }
    QRect rect() const override;
    QAccessible::Role role() const override
    {
        return m_index == 0 ? QAccessible::Chart : QAccessible::ListItem;
    }
    QAccessible::State state() const override;

private:
    QuoteViewAccessible& m_view;
    int m_index;
};

class QuoteViewAccessible final : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit QuoteViewAccessible(CKolpexView* view)
        : QAccessibleWidget(view, QAccessible::Pane)
    {
    }
    ~QuoteViewAccessible() override
    {
        for (QuoteItemAccessible* item : m_items)
            QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(item));
    }

    CKolpexView* view() const { return static_cast<CKolpexView*>(object()); }
    const CGraph* chart() const { return isValid() ? view()->chart() : nullptr; }
    std::vector<std::string> lines() const
    {
        const CGraph* graph = chart();
        return graph ? ChartInfoLines(*graph) : std::vector<std::string>();
    }

    QString text(QAccessible::Text t) const override
    {
        switch (t) {
        case QAccessible::Name:
            // The child window's title, which the document sets from the company name.
            for (const QWidget* w = view(); w; w = w->parentWidget())
                if (qobject_cast<const QMdiSubWindow*>(w) || w->isWindow())
                    return w->windowTitle();
            return {};
        case QAccessible::Description:
            return chart() ? FromCp1252(DescribeQuoteChart(*chart())) : QString();
        case QAccessible::Value:
            return lines().empty() ? QString() : FromCp1252(SplitInfoLine(lines().front()).second);
        default:
            return QAccessibleWidget::text(t);
        }
    }

    int childCount() const override { return isValid() ? view()->itemCount() : 0; }
    QAccessibleInterface* child(int index) const override
    {
        if (index < 0 || index >= childCount())
            return nullptr;
        auto* self = const_cast<QuoteViewAccessible*>(this);
        while (static_cast<int>(m_items.size()) <= index) {
            auto* item = new QuoteItemAccessible(*self, static_cast<int>(m_items.size()));
            QAccessible::registerAccessibleInterface(item);
            self->m_items.push_back(item);
        }
        return m_items[static_cast<std::size_t>(index)];
    }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        for (std::size_t i = 0; i < m_items.size(); ++i)
            if (m_items[i] == child)
                return static_cast<int>(i) < childCount() ? static_cast<int>(i) : -1;
        return -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override
    {
        for (int i = 0; i < childCount(); ++i)
            if (child(i)->rect().contains(x, y))
                return child(i);
        return nullptr;
    }
    QAccessibleInterface* focusChild() const override
    {
        if (!isValid() || !view()->hasFocus() || childCount() == 0)
            return nullptr;
        return child(view()->currentItem());
    }

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    // The last price; the day's low and high bound it.
    QVariant currentValue() const override { return figure(1); }
    void setCurrentValue(const QVariant&) override { }
    QVariant minimumValue() const override { return figure(4); }
    QVariant maximumValue() const override { return figure(3); }
    QVariant minimumStepSize() const override { return 0.01; }

    // Text of item index: the chart's words, or an info line as drawn, caption with figure
    // (Name); its figure alone (Value).
    QString itemText(int index, QAccessible::Text t) const
    {
        if (index == 0)
            return t == QAccessible::Name ? text(QAccessible::Description) : QString();
        const std::vector<std::string> all = lines();
        if (index > static_cast<int>(all.size()))
            return {};
        const std::string& line = all[static_cast<std::size_t>(index - 1)];
        if (t == QAccessible::Name)
            return FromCp1252(line);
        if (t == QAccessible::Value)
            return FromCp1252(SplitInfoLine(line).second);
        return {};
    }
    QRect itemRect(int index) const
    {
        const QRect r = isValid() ? view()->itemRect(index) : QRect();
        return r.isEmpty() ? QRect() : QRect(view()->mapToGlobal(r.topLeft()), r.size());
    }
    bool itemFocused(int index) const
    {
        return isValid() && view()->hasFocus() && view()->currentItem() == index;
    }

private:
    // A column of the latest chart row as a number; none before the first quote.
    QVariant figure(std::size_t column) const
    {
        const CGraph* graph = chart();
        if (!graph || graph->rows().empty() || graph->rows().back().size() <= column)
            return {};
        bool ok = false;
        const double value = QString::fromStdString(graph->rows().back()[column]).toDouble(&ok);
        return ok ? QVariant(value) : QVariant();
    }

    std::vector<QuoteItemAccessible*> m_items;
};

bool QuoteItemAccessible::isValid() const
{
    return m_view.isValid() && m_index < m_view.childCount();
}

QWindow* QuoteItemAccessible::window() const
{
    return m_view.window();
}

QAccessibleInterface* QuoteItemAccessible::parent() const
{
    return &m_view;
}

QString QuoteItemAccessible::text(QAccessible::Text t) const
{
    return m_view.itemText(m_index, t);
}

QRect QuoteItemAccessible::rect() const
{
    return m_view.itemRect(m_index);
}

QAccessible::State QuoteItemAccessible::state() const
{
    QAccessible::State s;
    s.readOnly = true;
    s.focusable = true;
    s.focused = m_view.itemFocused(m_index);
    s.invisible = rect().isEmpty(); // a line the legend had no room for
    s.offscreen = s.invisible;
    return s;
}

// What a refresh says, for a screen reader to speak on its own: a notification that shows
// itself. Orca reads a notification's name when it appears, whatever has the focus; a change of
// name, description or value reaches it from Qt 6.4 without the text, or not at all unless focused.
constexpr char kAnnouncementProperty[] = "kolpexAnnouncement";

class AnnouncementAccessible final : public QAccessibleObject {
public:
    explicit AnnouncementAccessible(QObject* object)
        : QAccessibleObject(object)
    {
    }
    QAccessibleInterface* parent() const override
    {
        return QAccessible::queryAccessibleInterface(object()->parent());
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QString text(QAccessible::Text t) const override
    {
        return t == QAccessible::Name ? object()->property(kAnnouncementProperty).toString() : QString();
    }
    QAccessible::Role role() const override { return QAccessible::Notification; }
    QAccessible::State state() const override
    {
        QAccessible::State s;
        s.readOnly = true;
        return s;
    }
};

// The quote window the user works in: the main window is active and this is its active child.
bool IsActiveQuoteWindow(const CKolpexView& view)
{
    if (!view.isActiveWindow())
        return false;
    for (QWidget* w = view.parentWidget(); w; w = w->parentWidget())
        if (auto* frame = qobject_cast<QMdiSubWindow*>(w))
            return frame->mdiArea() && frame->mdiArea()->activeSubWindow() == frame;
    return true;
}

QAccessibleInterface* MakeQuoteViewAccessible(const QString& className, QObject* object)
{
    if (className == QLatin1String("CKolpexView") && object && object->isWidgetType())
        return new QuoteViewAccessible(static_cast<CKolpexView*>(object));
    if (className == QLatin1String("QObject") && object && object->property(kAnnouncementProperty).isValid())
        return new AnnouncementAccessible(object);
    return nullptr;
}

} // namespace

void InstallQuoteViewAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(MakeQuoteViewAccessible);
        return true;
    }();
    (void)installed;
}

void TellItemFocused(CKolpexView& view)
{
    if (!QAccessible::isActive() || !view.hasFocus() || view.itemCount() == 0)
        return;
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(&view);
    if (QAccessibleInterface* item = iface ? iface->child(view.currentItem()) : nullptr) {
        QAccessibleEvent focus(item, QAccessible::Focus);
        QAccessible::updateAccessibility(&focus);
    }
}

void AnnounceRefresh(CKolpexView& view, const QuoteRecord& before)
{
    if (!QAccessible::isActive() || !IsActiveQuoteWindow(view))
        return;
    const std::string words = RefreshAnnouncement(view.entry().symbol, before, view.quote());
    if (words.empty())
        return;
    QObject* announcement = view.findChild<QObject*>(QString::fromLatin1(kAnnouncementProperty));
    if (!announcement) {
        announcement = new QObject(&view);
        announcement->setObjectName(QString::fromLatin1(kAnnouncementProperty));
    }
    announcement->setProperty(kAnnouncementProperty, FromCp1252(words));
    QAccessibleEvent shown(announcement, QAccessible::ObjectShow);
    QAccessible::updateAccessibility(&shown);
}
