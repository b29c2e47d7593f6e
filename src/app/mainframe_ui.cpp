// Menus, toolbar and status bar of the main frame.
#include "app/lockpanes.h"
#include "app/mainframe_parts.h"
#include "app/toolbarimages.h"
#include "markets/markettable.h"
#include "platform/gui/docview.h"
#include "res/resource_ids.h"
#include "res/strings.h"

#include <QAction>
#include <QLabel>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QStatusBar>
#include <QToolBar>

namespace {

struct CommandText {
    int id;
    const char* text;
};

const CommandText kCommandTexts[] = {
    { ids::ID_FILE_NEW, "&New" },
    { ids::ID_FILE_OPEN, "&Open..." },
    { ids::ID_FILE_CLOSE, "&Close" },
    { ids::ID_FILE_SAVE, "&Save" },
    { ids::ID_FILE_PRINT_SETUP, "Print Set&up..." },
    { ids::ID_FILE_PRINT, "&Print..." },
    { ids::ID_FILE_PRINT_DIRECT, "Print Direct" },
    { ids::ID_FILE_PRINT_PREVIEW, "Print Pre&view" },
    { ids::ID_EDIT_UNDO, "&Undo" },
    { ids::ID_EDIT_CUT, "Cu&t" },
    { ids::ID_EDIT_COPY, "&Copy" },
    { ids::ID_EDIT_PASTE, "&Paste" },
    { ids::ID_WINDOW_NEW, "&New Window" },
    { ids::ID_WINDOW_CASCADE, "&Cascade" },
    { ids::ID_WINDOW_TILE_HORZ, "&Tile" },
    { ids::ID_WINDOW_ARRANGE, "&Arrange Icons" },
    { ids::ID_APP_ABOUT, "&About Kolpex..." },
    { ids::ID_APP_EXIT, "E&xit" },
    { ids::ID_HELP_FINDER, "&Help Topics" },
    { ids::ID_CONTEXT_HELP, "Context Help" },
    { ids::ID_HELP, "Help" },
    { ids::ID_DEFAULT_HELP, "Default Help" },
    { ids::ID_NEXT_PANE, "Next Pane" },
    { ids::ID_PREV_PANE, "Previous Pane" },
    { ids::ID_VIEW_TOOLBAR, "&Toolbar" },
    { ids::ID_VIEW_STATUS_BAR, "&Status Bar" },
    { ids::ID_FIND_IN_LIST, "Find Qoute in a List" },
    { ids::ID_FIND_WORLDWIDE, "Find Quote Worldwide" },
    { ids::ID_PROPERTIES, "Properties" },
};

// Accelerator table 128.
struct Accelerator {
    int id;
    QKeyCombination keys[2];
};

const Accelerator kAccelerators[] = {
    { ids::ID_FILE_NEW, { Qt::CTRL | Qt::Key_N, {} } },
    { ids::ID_FILE_OPEN, { Qt::CTRL | Qt::Key_O, {} } },
    { ids::ID_FILE_SAVE, { Qt::CTRL | Qt::Key_S, {} } },
    { ids::ID_FILE_PRINT, { Qt::CTRL | Qt::Key_P, {} } },
    { ids::ID_EDIT_UNDO, { Qt::CTRL | Qt::Key_Z, Qt::ALT | Qt::Key_Backspace } },
    { ids::ID_EDIT_CUT, { Qt::CTRL | Qt::Key_X, Qt::SHIFT | Qt::Key_Delete } },
    { ids::ID_EDIT_COPY, { Qt::CTRL | Qt::Key_C, Qt::CTRL | Qt::Key_Insert } },
    { ids::ID_EDIT_PASTE, { Qt::CTRL | Qt::Key_V, Qt::SHIFT | Qt::Key_Insert } },
    { ids::ID_NEXT_PANE, { QKeyCombination(Qt::Key_F6), {} } },
    { ids::ID_PREV_PANE, { Qt::SHIFT | Qt::Key_F6, {} } },
    { ids::ID_CONTEXT_HELP, { Qt::SHIFT | Qt::Key_F1, {} } },
    { ids::ID_HELP, { QKeyCombination(Qt::Key_F1), {} } },
};

// Toolbar 128, left to right, in the order of the images.
constexpr int kToolbarButtons[] = {
    ids::ID_FIND_WORLDWIDE,
    ids::ID_PROPERTIES,
    ids::ID_FIND_IN_LIST,
    ids::ID_MARKETS_NYSE,
    ids::ID_MARKETS_AMEX,
    ids::ID_MARKETS_NASDAQ,
    ids::ID_MARKETS_TSX,
    ids::ID_MARKETS_CVE,
    ids::ID_MARKETS_LSE,
    ids::ID_MARKETS_MUTUAL,
};
constexpr int kButtonWidth = kToolbarImageWidth;
constexpr int kButtonHeight = kToolbarImageHeight;

} // namespace

// The images live in the widget library, a static one: its resources need calling in by hand.
void LoadKolpexResources()
{
    static const bool loaded = [] {
        Q_INIT_RESOURCE(kolpex);
        return true;
    }();
    (void)loaded;
}

QString CommandMenuText(int commandId)
{
    if (const MarketInfo* market = MarketByCommand(commandId))
        return QString::fromLatin1(market->caption);
    for (const CommandText& c : kCommandTexts) {
        if (c.id == commandId)
            return QString::fromLatin1(c.text);
    }
    return {};
}

void CMainFrame::buildActions()
{
    auto add = [this](int id) {
        auto* action = new QAction(CommandMenuText(id), this);
        action->setIconVisibleInMenu(false);
        const std::string_view prompt = strings::CommandPrompt(id);
        if (!prompt.empty()) {
            const auto feed = prompt.find('\n');
            action->setStatusTip(QString::fromLatin1(prompt.substr(0, feed)));
            action->setToolTip(QString::fromLatin1(prompt.substr(feed + 1)));
            action->setWhatsThis(action->statusTip()); // what Shift+F1 then a click shows
        }
        connect(action, &QAction::triggered, this, [this, id] { runCommand(id); });
        m_actions[id] = action;
        addAction(action); // shortcuts work whether or not a menu shows the command
        return action;
    };
    for (const CommandText& c : kCommandTexts)
        add(c.id);
    for (const MarketInfo& market : kMarkets)
        add(market.commandId);
    for (int id = ids::ID_FILE_MRU_FILE1; id <= ids::ID_FILE_MRU_LAST; ++id)
        m_parts->recentItems.push_back(add(id));

    for (const Accelerator& a : kAccelerators) {
        QList<QKeySequence> keys { QKeySequence(a.keys[0]) };
        if (a.keys[1].key() != Qt::Key_unknown)
            keys.append(QKeySequence(a.keys[1]));
        m_actions[a.id]->setShortcuts(keys);
    }
    m_actions[ids::ID_VIEW_TOOLBAR]->setCheckable(true);
    m_actions[ids::ID_VIEW_STATUS_BAR]->setCheckable(true);
}

void CMainFrame::buildMenus()
{
    auto menu = [this](const char* title, std::initializer_list<int> items) {
        auto* m = new QMenu(QString::fromLatin1(title), this);
        for (int id : items) {
            if (id == 0) {
                m->addSeparator();
            } else if (id == ids::ID_FILE_MRU_FILE1) {
                for (QAction* item : m_parts->recentItems)
                    m->addAction(item);
            } else {
                m->addAction(m_actions.at(id));
            }
        }
        connect(m, &QMenu::aboutToShow, this, &CMainFrame::updateCommandEnabling);
        return m;
    };
    const std::initializer_list<int> markets
        = { ids::ID_MARKETS_NYSE, ids::ID_MARKETS_AMEX, ids::ID_MARKETS_NASDAQ, ids::ID_MARKETS_MUTUAL,
              ids::ID_MARKETS_CVE, ids::ID_MARKETS_TSX, ids::ID_MARKETS_LSE };
    m_parts->menus128 = {
        menu("&File", { ids::ID_FILE_MRU_FILE1, 0, ids::ID_FILE_CLOSE, ids::ID_APP_EXIT }),
        menu("Markets", markets),
        menu("&View",
            { ids::ID_VIEW_TOOLBAR, ids::ID_VIEW_STATUS_BAR, 0, ids::ID_FIND_IN_LIST, ids::ID_FIND_WORLDWIDE,
                ids::ID_PROPERTIES }),
        menu("&Help", { ids::ID_HELP_FINDER, 0, ids::ID_APP_ABOUT }),
    };
    m_parts->menus129 = {
        menu("&File", { ids::ID_FILE_CLOSE, 0, ids::ID_FILE_MRU_FILE1, 0, ids::ID_APP_EXIT }),
        menu("Markets", markets),
        menu("&View", { ids::ID_VIEW_TOOLBAR, ids::ID_VIEW_STATUS_BAR, 0, ids::ID_PROPERTIES }),
        menu("&Window",
            { ids::ID_WINDOW_NEW, ids::ID_WINDOW_CASCADE, ids::ID_WINDOW_TILE_HORZ, ids::ID_WINDOW_ARRANGE }),
        menu("&Help", { ids::ID_HELP_FINDER, 0, ids::ID_APP_ABOUT }),
    };
    m_parts->shownMenu = 0;
    showMenuFor(nullptr);
}

void CMainFrame::buildToolBar()
{
    LoadKolpexResources();
    m_wndToolBar = new QToolBar(QStringLiteral("Standard"), this);
    m_wndToolBar->setObjectName(QStringLiteral("toolbar128"));
    m_wndToolBar->setMovable(true); // the gripper; docks on any side
    m_wndToolBar->setAllowedAreas(Qt::AllToolBarAreas);
    m_wndToolBar->setIconSize(QSize(kButtonWidth, kButtonHeight));
    m_wndToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    const QList<QIcon> images = ToolbarIcons();
    bool first = true;
    int cell = 0;
    for (int id : kToolbarButtons) {
        if (!first)
            m_wndToolBar->addSeparator();
        first = false;
        QAction* action = m_actions.at(id);
        action->setIcon(images.value(cell));
        ++cell;
        m_wndToolBar->addAction(action);
    }
    addToolBar(Qt::TopToolBarArea, m_wndToolBar);
    QAction* toggle = m_actions.at(ids::ID_VIEW_TOOLBAR);
    toggle->setChecked(true);
    connect(m_wndToolBar, &QToolBar::visibilityChanged, toggle, &QAction::setChecked);
}

void CMainFrame::buildStatusBar()
{
    m_wndStatusBar = statusBar();
    m_messagePane = new QLabel(QString::fromLatin1(strings::kIdleMessage), m_wndStatusBar);
    m_messagePane->setObjectName(QStringLiteral("messagePane"));
    m_wndStatusBar->addWidget(m_messagePane, 1);
    m_messagePane->setAccessibleName(QStringLiteral("Message"));
    m_parts->lockPanes = new LockPanes(*m_wndStatusBar);
    QAction* toggle = m_actions.at(ids::ID_VIEW_STATUS_BAR);
    toggle->setChecked(true);
}

void CMainFrame::showMenuFor(QMdiSubWindow* active)
{
    int wanted = ids::IDR_MAINFRAME;
    if (active) {
        if (auto* view = qobject_cast<CView*>(active->widget())) {
            if (view->GetDocument() && view->GetDocument()->docTemplate()
                && view->GetDocument()->docTemplate()->resourceId() == ids::IDR_KOLPEXTYPE)
                wanted = ids::IDR_KOLPEXTYPE;
        }
    }
    if (wanted == m_parts->shownMenu)
        return;
    m_parts->shownMenu = wanted;
    QMenuBar* bar = menuBar();
    bar->clear();
    for (QMenu* m : wanted == ids::IDR_KOLPEXTYPE ? m_parts->menus129 : m_parts->menus128)
        bar->addMenu(m);
}
