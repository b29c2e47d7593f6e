#include "app/lockpanes.h"

#include "platform/gui/x11keyboard.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QStatusBar>

namespace {
const char* const kTexts[] = { "CAPS", "NUM", "SCRL" };
const char* const kNames[] = { "Caps Lock", "Num Lock", "Scroll Lock" };
} // namespace

LockPanes::LockPanes(QStatusBar& bar)
    : QObject(&bar)
    , m_wayland(QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
{
    for (std::size_t i = 0; i < m_panes.size(); ++i) {
        auto* pane = new QLabel(&bar);
        pane->setObjectName(QString::fromLatin1(kTexts[i]));
        pane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        pane->setAlignment(Qt::AlignCenter);
        pane->setMinimumWidth(pane->fontMetrics().horizontalAdvance(QString::fromLatin1(kTexts[i])) + 10);
        bar.addPermanentWidget(pane);
        m_panes[i] = pane;
    }
    // Counted from all off where nothing tells better; unknown on Wayland until a key tells.
    if (!m_wayland)
        m_locks = { false, false, false };
}

LockPanes::~LockPanes()
{
    qApp->removeEventFilter(this);
}

void LockPanes::start()
{
    qApp->installEventFilter(this);
    // A lock already on at start shows at once where the windowing system tells it.
    if (const std::optional<LockStates> locks = x11::LockIndicators())
        show({ (*locks)[0], (*locks)[1], (*locks)[2] });
    else
        show(m_locks);
}

LockStates LockPanes::shown() const
{
    return { m_locks[0].value_or(false), m_locks[1].value_or(false), m_locks[2].value_or(false) };
}

bool LockPanes::eventFilter(QObject* watched, QEvent* event)
{
    if ((event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease)
        && watched->isWindowType()) {
        // Each key reaches the window and then its widget; counted once, at the window.
        const auto* key = static_cast<QKeyEvent*>(event);
        LockKeyEvent lockEvent;
        lockEvent.key = key->key();
        lockEvent.press = event->type() == QEvent::KeyPress;
        lockEvent.autoRepeat = key->isAutoRepeat();
        if (m_wayland) {
            lockEvent.waylandMods = key->nativeModifiers();
            show(WaylandLocksAfterKey(m_locks, lockEvent));
        } else {
            if (QGuiApplication::platformName() == QLatin1String("xcb"))
                lockEvent.x11State = key->nativeModifiers();
            std::optional<LockStates> server;
            if (LockPaneOfKey(key->key()) >= 0)
                server = x11::LockIndicators();
            const LockStates after = LockStatesAfterKey(shown(), lockEvent, server);
            show({ after[0], after[1], after[2] });
        }
    }
    return QObject::eventFilter(watched, event);
}

void LockPanes::show(const KnownLocks& locks)
{
    m_locks = locks;
    for (std::size_t i = 0; i < m_panes.size(); ++i) {
        const bool on = locks[i].value_or(false);
        m_panes[i]->setText(on ? QString::fromLatin1(kTexts[i]) : QString());
        // Read by name: the lock and its state, "unknown" where nothing has told it yet.
        const char* state = !locks[i] ? " unknown" : on ? " on" : " off";
        m_panes[i]->setAccessibleName(QString::fromLatin1(kNames[i]) + QString::fromLatin1(state));
    }
}
