#include "app/sessionexit.h"

#include "app/mainframe.h"
#include "platform/exitsignals.h"
#include "platform/gui/messageboxnotifier.h"
#include "platform/notifier.h"
#include "quote/quotemanager.h"
#include "res/resource_ids.h"

#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPointer>
#include <QSessionManager>
#include <QTimer>
#include <cstdio>

namespace {

// Steps taken while something on the stack still runs a loop of its own: come back shortly.
constexpr int kRetryMs = 100;

int g_exitSignal = 0; // the signal that began the exit, 0 for none

void Log(const QByteArray& line)
{
    std::fprintf(stderr, "kolpex: %s\n", line.constData());
    std::fflush(stderr);
}

class SessionExit final : public QObject {
    Q_DISABLE_COPY_MOVE(SessionExit)
public:
    explicit SessionExit(CMainFrame& frame)
        : QObject(&frame)
        , m_frame(frame)
    {
        auto* watch = new ExitSignals(this);
        if (!watch->isActive())
            Log("cannot watch for SIGTERM, SIGHUP and SIGINT");
        connect(watch, &ExitSignals::received, this, [this](int signal) {
            if (!m_begun)
                g_exitSignal = signal;
            begin(ExitSignals::Name(signal) + " received");
        });
        connect(qApp, &QGuiApplication::commitDataRequest, this,
            [this](QSessionManager&) { begin("the session is ending"); });
    }

private:
    void begin(const QByteArray& why)
    {
        if (m_begun) {
            Log(why + ", already on the way out");
            return;
        }
        m_begun = true;
        Log(why + ": closing the quote windows and saving the recent list");
        m_frame.notifier().limitWaiting(kUnattendedMessageMs);
        step();
    }

    // File > Exit, once nothing else holds the stack: a download finishes first (its own time-out
    // bounds it), a dialog is cancelled (Qt's own too, and any question it asks), our own
    // messages answer themselves.
    void step()
    {
        if (QWidget* popup = QApplication::activePopupWidget())
            popup->close();
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && !MessageBoxNotifier::IsOwnMessage(modal))
            Cancel(modal);
        if (modal || CQuoteManager::FetchInProgress()) {
            QTimer::singleShot(kRetryMs, this, &SessionExit::step);
            return;
        }
        const QPointer<SessionExit> self(this);
        m_frame.runCommand(ids::ID_APP_EXIT);
        if (!self)
            return;
        if (m_frame.isVisible()) {
            QTimer::singleShot(kRetryMs, this, &SessionExit::step);
            return;
        }
        QApplication::closeAllWindows(); // the help window, when one is open
        QCoreApplication::exit(0);
    }

    // As Escape would: a question takes its escape answer (No, Cancel), a dialog is rejected.
    static void Cancel(QWidget* modal)
    {
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QCoreApplication::sendEvent(box, &escape);
        } else if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            dialog->reject();
        } else {
            modal->close();
        }
    }

    CMainFrame& m_frame;
    bool m_begun = false;
};

} // namespace

void EndWithTheSession(CMainFrame& frame)
{
    new SessionExit(frame);
}

int ExitStatusAfterSession(int loopStatus)
{
    return g_exitSignal != 0 ? 128 + g_exitSignal : loopStatus;
}
