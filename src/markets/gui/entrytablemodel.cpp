#include "markets/gui/entrytablemodel.h"

#include "markets/listsort.h"
#include "platform/textcodec.h"

#include <numeric>

namespace {

const char* const kHeadings[kColumnCount] = { "COMPANY", "SYMBOL", "VOLUME", "LISTED" };

Qt::Alignment ColumnAlignment(int column)
{
    switch (column) {
    case kColumnVolume:
        return Qt::AlignRight | Qt::AlignVCenter;
    case kColumnListed:
        return Qt::AlignCenter;
    default:
        return Qt::AlignLeft | Qt::AlignVCenter;
    }
}

} // namespace

EntryTableModel::EntryTableModel(const ListEntries& entries, QObject* parent)
    : QAbstractTableModel(parent)
    , m_entries(entries)
{
    m_order.resize(m_entries.size());
    std::iota(m_order.begin(), m_order.end(), 0);
}

int EntryTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_order.size());
}

int EntryTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant EntryTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || entryIndex(index.row()) < 0 || index.column() < 0
        || index.column() >= kColumnCount)
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole: {
        std::string scratch;
        return FromCp1252(std::string(textAt(index.row(), index.column(), scratch)));
    }
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(ColumnAlignment(index.column()));
    default:
        return {};
    }
}

QVariant EntryTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (role) {
    case Qt::DisplayRole:
        return QString::fromLatin1(kHeadings[section]);
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(ColumnAlignment(section));
    default:
        return {};
    }
}

void EntryTableModel::reload()
{
    beginResetModel();
    m_order.resize(m_entries.size());
    std::iota(m_order.begin(), m_order.end(), 0);
    endResetModel();
}

void EntryTableModel::sortBy(int column, bool descending)
{
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<int> entryOfPersistent;
    entryOfPersistent.reserve(static_cast<size_t>(before.size()));
    for (const QModelIndex& index : before)
        entryOfPersistent.push_back(entryIndex(index.row()));

    SortRows(m_order, m_entries, column, descending);

    if (!before.isEmpty()) {
        std::vector<int> rowOfEntry(m_entries.size(), -1);
        for (size_t row = 0; row < m_order.size(); ++row)
            rowOfEntry[static_cast<size_t>(m_order[row])] = static_cast<int>(row);
        QModelIndexList after;
        after.reserve(before.size());
        for (qsizetype i = 0; i < before.size(); ++i)
            after.append(index(rowOfEntry[static_cast<size_t>(entryOfPersistent[static_cast<size_t>(i)])],
                before[i].column()));
        changePersistentIndexList(before, after);
    }
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

int EntryTableModel::entryIndex(int row) const
{
    if (row < 0 || row >= static_cast<int>(m_order.size()))
        return -1;
    return m_order[static_cast<size_t>(row)];
}

std::optional<QuoteEntry> EntryTableModel::entryAt(int row) const
{
    const int i = entryIndex(row);
    if (i < 0 || i >= static_cast<int>(m_entries.size()))
        return std::nullopt;
    return m_entries.entry(static_cast<size_t>(i));
}

std::string_view EntryTableModel::textAt(int row, int column, std::string& scratch) const
{
    const int i = entryIndex(row);
    if (i < 0 || i >= static_cast<int>(m_entries.size()))
        return {};
    return m_entries.text(static_cast<size_t>(i), column, scratch);
}
