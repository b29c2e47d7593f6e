#include "markets/gui/clistview.h"

#include "markets/gui/cdia_find.h"
#include "markets/gui/childwindowhost.h"
#include "markets/gui/entrytablemodel.h"
#include "markets/listsort.h"
#include "markets/liststate.h"
#include "markets/markettable.h"
#include "platform/textcodec.h"
#include "platform/waitcursor.h"
#include "quote/quotemanager.h"
#include "res/resource_ids.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QTableView>
#include <QVBoxLayout>

CListView_::CListView_(CDocument* document, ChildWindowHost& frame)
    : CView(document)
    , m_listKind(g_pendingListKind)
    , m_frame(frame)
    , m_quoteManager(*frame.quoteManager())
{
    if (m_listKind == 2) {
        m_entries = ListEntries(m_frame.searchResults());
    } else if (const MarketInfo* market
        = m_listKind >= 3 && m_listKind <= 9 ? MarketByListKind(m_listKind) : nullptr) {
        m_quoteManager.LoadMarketList(market->code, m_entries);
    }

    m_model = new EntryTableModel(m_entries, this);
    m_table = new QTableView(this);
    m_table->setObjectName(QStringLiteral("listTable"));
    // A screen reader names the table after its window: "NASDAQ", or the search's results.
    if (document) {
        connect(document, &CDocument::titleChanged, m_table,
            [this, document] { m_table->setAccessibleName(FromCp1252(document->GetTitle())); });
    }
    m_table->setModel(m_model);
    m_table->setShowGrid(true);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setWordWrap(false);
    m_table->setCornerButtonEnabled(false);
    m_table->verticalHeader()->hide();
    // Fixed row heights keep a big list cheap: the view never measures rows.
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 4);
    QHeaderView* header = m_table->horizontalHeader();
    header->setSectionsClickable(true);
    header->setHighlightSections(false);
    header->setStretchLastSection(false);
    for (int column = 0; column < kColumnCount; ++column)
        header->resizeSection(column, EntryTableModel::kColumnWidths[column]);
    m_table->installEventFilter(this);
    setFocusProxy(m_table);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_table);

    connect(header, &QHeaderView::sectionClicked, this, &CListView_::OnColumnClick);
    connect(m_table, &QAbstractItemView::doubleClicked, this,
        [this](const QModelIndex& index) { OpenRow(index.row()); });
    connect(m_table->selectionModel(), &QItemSelectionModel::currentChanged, this,
        [this](const QModelIndex& current) { onCurrentChanged(current.isValid() ? current.row() : -1); });
}

CListView_::~CListView_() = default;

void CListView_::OnInitialUpdate()
{
    CView::OnInitialUpdate();
    WaitCursor wait;
    m_quiet = true;
    m_table->setUpdatesEnabled(false);
    m_model->reload();
    g_sortColumn = kColumnCompany;
    sortNow();
    // The first row is current, as a list control gives its first item the keyboard focus, so
    // Enter opens a quote at once; the status line waits for the user's own move.
    const QModelIndex first = m_model->index(0, 0);
    m_table->selectionModel()->setCurrentIndex(first, QItemSelectionModel::NoUpdate);
    m_currentLine = first.isValid() ? 0 : -1;
    m_table->setUpdatesEnabled(true);
    m_quiet = false;
}

bool CListView_::HandlesCommand(int commandId) const
{
    return commandId == ids::ID_FIND_IN_LIST;
}

void CListView_::OnCommand(int commandId)
{
    if (commandId == ids::ID_FIND_IN_LIST)
        OnFindInList();
}

void CListView_::OnFindInList()
{
    {
        CDia_Find dialog(this);
        if (CDia_Find::RunModal(dialog) != QDialog::Accepted)
            return;
    }
    const std::string ownTitle = GetDocument() ? GetDocument()->GetTitle() : std::string();
    const int found = m_quoteManager.FindInList(g_searchText, m_entries);
    if (found <= 0)
        return;
    g_pendingListKind = 2;
    CDocTemplate* listTemplate = m_frame.listDocumentTemplate();
    if (CDocument* results = listTemplate ? listTemplate->OpenDocumentFile(nullptr) : nullptr)
        results->SetTitle("Nearest quotes for \"" + g_searchText + "\" (" + ownTitle + ")");
    g_pendingListKind = 0;
}

void CListView_::OnColumnClick(int column)
{
    g_sortDescending = !g_sortDescending;
    m_quiet = true;
    m_table->setUpdatesEnabled(false);
    g_sortColumn = column;
    {
        WaitCursor wait;
        sortNow();
    }
    m_table->setUpdatesEnabled(true);
    m_quiet = false;
}

void CListView_::OpenRow(int row)
{
    if (m_model->entryIndex(row) < 0)
        return;
    std::string shownScratch;
    const std::string_view symbol = m_model->textAt(row, kColumnSymbol, shownScratch);
    WaitCursor wait;
    std::string scratch;
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        if (m_entries.text(i, kColumnSymbol, scratch) == symbol) {
            // The list may go away with its window while the quote opens: the entry is a copy.
            m_quoteManager.OpenQuote(m_entries.entry(i));
            return;
        }
    }
}

bool CListView_::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_table && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            if (m_currentLine >= 0)
                OpenRow(m_currentLine);
        } else if (key->key() == Qt::Key_F && (key->modifiers() & Qt::ControlModifier)) {
            OnFindInList();
        }
    }
    return CView::eventFilter(watched, event);
}

void CListView_::sortNow()
{
    m_model->sortBy(g_sortColumn, g_sortDescending);
    m_table->horizontalHeader()->setSortIndicatorShown(true);
    m_table->horizontalHeader()->setSortIndicator(
        g_sortColumn, g_sortDescending ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void CListView_::onCurrentChanged(int row)
{
    if (m_quiet || !isVisible() || row < 0)
        return;
    m_frame.SetMessageText(StatusLineText(row, m_model->rowCount()));
    m_currentLine = row;
}
