#pragma once

#include "markets/listentries.h"
#include "platform/gui/docview.h"
#include "quote/quoteentry.h"

class ChildWindowHost;
class CQuoteManager;
class EntryTableModel;
class QTableView;

// The view of a market list or search result window: a four-column table over the window's own
// entries, sorted by the process-wide sort state.
class CListView_ final : public CView {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CListView_)
public:
    // Loads the entries the pending list kind names: 2 the frame's search results, 3..9 a market.
    CListView_(CDocument* document, ChildWindowHost& frame);
    ~CListView_() override;

    void OnInitialUpdate() override;
    bool HandlesCommand(int commandId) const override;
    void OnCommand(int commandId) override;

    // The command "Find Qoute in a List": the dialog, the search, a result window.
    void OnFindInList();
    // What a click on a heading does: flips the shared direction and sorts by that column.
    void OnColumnClick(int column);
    // Opens the first entry in array order that carries the symbol shown at a row.
    void OpenRow(int row);

    int listKind() const { return m_listKind; }
    int currentLine() const { return m_currentLine; }
    const ListEntries& entries() const { return m_entries; }
    QTableView* table() const { return m_table; }
    EntryTableModel* model() const { return m_model; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void sortNow();
    void onCurrentChanged(int row);

    int m_currentLine = -1;
    int m_listKind;
    ChildWindowHost& m_frame;
    CQuoteManager& m_quoteManager;
    ListEntries m_entries;
    QTableView* m_table = nullptr;
    EntryTableModel* m_model = nullptr;
    // The fill and the sorts run with the table frozen; row changes then report nothing.
    bool m_quiet = false;
};
