#include "platform/desktopnotifications.h"

#include <QDBusAbstractInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QTimer>
#include <QVariantMap>

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const char kInterface[] = "org.freedesktop.Notifications";
// "default" is what a click on the notification itself invokes; its label is the button's.
const QString kOpenAction = QStringLiteral("default");
constexpr int kAnswerWithinMs = 5000;

} // namespace

// The service's signals as Qt signals, so that they connect by member pointer: the interface
// base subscribes to a bus signal when a Qt signal of the same name is connected.
class NotificationsProxy final : public QDBusAbstractInterface {
    Q_OBJECT
public:
    explicit NotificationsProxy(const QDBusConnection& bus)
        : QDBusAbstractInterface(kService, kPath, kInterface, bus, nullptr)
    {
    }
Q_SIGNALS:
    void ActionInvoked(uint id, const QString& actionKey);
};

DesktopNotifications::DesktopNotifications(QObject* parent)
    : QObject(parent)
    , m_bus(QDBusConnection::sessionBus())
{
}

DesktopNotifications::~DesktopNotifications() = default;

void DesktopNotifications::listen()
{
    if (m_proxy || !m_bus.isConnected())
        return;
    m_proxy = std::make_unique<NotificationsProxy>(m_bus);
    connect(m_proxy.get(), &NotificationsProxy::ActionInvoked, this, [this](uint id, const QString& key) {
        if (key == kOpenAction)
            Q_EMIT opened(id);
    });
}

quint64 DesktopNotifications::notify(const QString& summary, const QString& body)
{
    const quint64 token = m_nextToken++;
    if (!m_bus.isConnected()) {
        const QString reason = m_bus.lastError().message();
        QTimer::singleShot(0, this, [this, token, reason] { Q_EMIT unavailable(token, reason); });
        return token;
    }
    listen();
    QDBusMessage call = QDBusMessage::createMethodCall(
        kService, kPath, QString::fromLatin1(kInterface), QStringLiteral("Notify"));
    const QVariantMap hints { { QStringLiteral("desktop-entry"), QStringLiteral("kolpex") } };
    call << QStringLiteral("Kolpex") << uint(0) << QStringLiteral("kolpex") << summary << body
         << (m_openAction ? QStringList { kOpenAction, QStringLiteral("Open") } : QStringList()) << hints
         << int(-1);
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, kAnswerWithinMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, token](QDBusPendingCallWatcher* w) {
        const QDBusPendingReply<uint> reply = *w;
        w->deleteLater();
        if (reply.isError())
            Q_EMIT unavailable(token, reply.error().message());
        else
            Q_EMIT shown(token, reply.value());
    });
    return token;
}

#include "desktopnotifications.moc"
