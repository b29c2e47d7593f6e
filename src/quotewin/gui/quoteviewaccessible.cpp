#include "quotewin/gui/quoteviewaccessible.h"

#include "chart/graph.h"
#include "platform/textcodec.h"
#include "quotewin/gui/ckolpexview.h"
#include "quotewin/quotereading.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QAccessibleWidget>
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
    QAccessible::State state() const override
    {
        QAccessible::State s;
        s.readOnly = true;
        return s;
    }

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

    int childCount() const override
    {
        if (!chart())
            return 0;
        return 1 + static_cast<int>(lines().size());
    }
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
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }

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

    // Text of item index: the chart's words, or an info line's caption (Name) and figure.
    QString itemText(int index, QAccessible::Text t) const
    {
        if (index == 0) {
            if (t == QAccessible::Name)
                return QStringLiteral("Chart");
            return t == QAccessible::Description ? text(QAccessible::Description) : QString();
        }
        const std::vector<std::string> all = lines();
        if (index > static_cast<int>(all.size()))
            return {};
        const auto [caption, value] = SplitInfoLine(all[static_cast<std::size_t>(index - 1)]);
        if (t == QAccessible::Name)
            return FromCp1252(caption);
        if (t == QAccessible::Description || t == QAccessible::Value)
            return FromCp1252(value);
        return {};
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
    return m_view.rect(); // drawn by the chart, nowhere a reader could point at on its own
}

QAccessibleInterface* MakeQuoteViewAccessible(const QString& className, QObject* object)
{
    if (className == QLatin1String("CKolpexView") && object && object->isWidgetType())
        return new QuoteViewAccessible(static_cast<CKolpexView*>(object));
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

void AnnounceQuoteChange(CKolpexView& view)
{
    if (!QAccessible::isActive())
        return;
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(&view);
    if (!iface)
        return;
    QAccessibleValueChangeEvent value(
        &view, iface->valueInterface() ? iface->valueInterface()->currentValue() : QVariant());
    QAccessible::updateAccessibility(&value);
    for (const QAccessible::Event type : { QAccessible::NameChanged, QAccessible::DescriptionChanged }) {
        QAccessibleEvent event(&view, type);
        QAccessible::updateAccessibility(&event);
    }
    // The lines' figures: each item tells its own change.
    for (int i = 1; i < iface->childCount(); ++i) {
        QAccessibleEvent line(iface->child(i), QAccessible::DescriptionChanged);
        QAccessible::updateAccessibility(&line);
    }
}
