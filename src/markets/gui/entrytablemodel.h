#pragma once

#include "markets/listentries.h"
#include "quote/quoteentry.h"

#include <QAbstractTableModel>
#include <optional>
#include <string>
#include <vector>

// The rows of a list window: one per entry, shown in the order of a row index vector, so
// sorting moves integers and never the entries. Texts are cut and converted when a cell is shown.
class EntryTableModel final : public QAbstractTableModel {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(EntryTableModel)
public:
    static constexpr int kColumnWidths[4] = { 230, 60, 70, 70 };

    explicit EntryTableModel(const ListEntries& entries, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Starts over from the entries in array order (call after the array changed).
    void reload();
    // Reorders the rows; selection and current index follow their rows.
    void sortBy(int column, bool descending);

    // The entry index shown at a row, -1 for a row that does not exist.
    int entryIndex(int row) const;
    // The entry shown at a row, in full; none for a row that does not exist.
    std::optional<QuoteEntry> entryAt(int row) const;
    // The entry's text shown at a row and column (scratch as ListEntries::text); empty for none.
    std::string_view textAt(int row, int column, std::string& scratch) const;

private:
    const ListEntries& m_entries;
    std::vector<int> m_order;
};
