#include "gateway/sources/upstream.h"

#include <QNetworkAccessManager>
#include <QNetworkCookieJar>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QTimer>
#include <algorithm>
#include <limits>

namespace {

// Some providers answer a client that does not look like a browser with a refusal or a block
// page; a current desktop browser's string keeps us out of that.
const QByteArray kUserAgent = QByteArrayLiteral(
    "Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/124.0.0.0 Safari/537.36");

// Our own words for a failure: Qt's error strings carry the whole URL, query and token included.
QString NetworkFailure(QNetworkReply::NetworkError error)
{
    switch (error) {
    case QNetworkReply::ConnectionRefusedError:
        return QStringLiteral("connection refused");
    case QNetworkReply::RemoteHostClosedError:
        return QStringLiteral("connection closed before the answer was complete");
    case QNetworkReply::HostNotFoundError:
        return QStringLiteral("host not found");
    case QNetworkReply::TimeoutError:
        return QStringLiteral("connection timed out");
    case QNetworkReply::SslHandshakeFailedError:
        return QStringLiteral("TLS handshake failed");
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
        return QStringLiteral("network unavailable");
    default:
        return QStringLiteral("network error %1").arg(int(error));
    }
}

// Requests a lane takes before the next lane opens: Qt's own connections per host.
constexpr int kPerLane = 6;

// Whether the answer came compressed, which Qt unpacks on the way in.
bool Packed(const QNetworkReply& reply)
{
    const QByteArray encoding = reply.rawHeader("Content-Encoding").trimmed().toLower();
    return !encoding.isEmpty() && encoding != "identity";
}

// Errors Qt raises below HTTP (the connection, the proxy): an answer with one of these is cut short.
bool TransportError(QNetworkReply::NetworkError error)
{
    return error != QNetworkReply::NoError && int(error) < 200;
}

QString Seconds(int ms)
{
    return ms % 1000 == 0 ? QStringLiteral("%1 s").arg(ms / 1000) : QStringLiteral("%1 ms").arg(ms);
}

// One request in flight: what has come so far and why it was stopped, if it was.
struct Pending {
    QPointer<QNetworkReply> reply;
    QByteArray body;
    bool answered = false; // the status line and headers have come
    QString stopped;
    UpstreamClient::Done done;
};

} // namespace

struct UpstreamClient::Flying {
    std::shared_ptr<Pending> pending;
    QByteArray key;
    QElapsedTimer sent;
};

QString UpstreamReply::describe() const
{
    if (!error.isEmpty())
        return error;
    return QStringLiteral("HTTP %1").arg(status);
}

QString LoggableUrl(const QUrl& url)
{
    return url.adjusted(QUrl::RemoveQuery | QUrl::RemoveFragment | QUrl::RemoveUserInfo)
        .toString(QUrl::FullyEncoded);
}

UpstreamClient::UpstreamClient(QStringList sourceHosts, const QUrl& upstream, QObject* parent)
    : QObject(parent)
    , m_sourceHosts(std::move(sourceHosts))
    , m_upstream(upstream)
    , m_jar(new QNetworkCookieJar(this))
{
}

UpstreamClient::~UpstreamClient() = default;

QUrl UpstreamClient::resolve(const QUrl& providerUrl) const
{
    if (m_upstream.isEmpty())
        return providerUrl;
    QByteArray base = m_upstream.adjusted(QUrl::RemoveQuery | QUrl::RemoveFragment).toEncoded();
    while (base.endsWith('/'))
        base.chop(1);
    QByteArray path = providerUrl.path(QUrl::FullyEncoded).toLatin1();
    if (!path.startsWith('/'))
        path.prepend('/');
    QByteArray target = base + path;
    if (providerUrl.hasQuery())
        target += '?' + providerUrl.query(QUrl::FullyEncoded).toLatin1();
    return QUrl::fromEncoded(target, QUrl::StrictMode);
}

bool UpstreamClient::allowed(const QUrl& providerUrl) const
{
    if (!providerUrl.isValid() || !m_sourceHosts.contains(providerUrl.host(), Qt::CaseInsensitive))
        return false;
    if (m_upstream.isEmpty())
        return providerUrl.scheme() == QLatin1String("https");
    const QString scheme = m_upstream.scheme();
    return m_upstream.isValid() && !m_upstream.host().isEmpty()
        && (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

void UpstreamClient::resetCookies()
{
    QNetworkCookieJar* const old = m_jar;
    m_jar = new QNetworkCookieJar(this);
    for (Lane& lane : m_lanes) {
        lane.network->setCookieJar(m_jar);
        m_jar->setParent(this); // shared by every lane, so owned by none
    }
    old->deleteLater();
}

UpstreamClient::Lane& UpstreamClient::freeLane()
{
    for (Lane& lane : m_lanes) {
        if (lane.inFlight < kPerLane)
            return lane;
    }
    Lane lane;
    lane.network = new QNetworkAccessManager(this);
    // A redirect could lead anywhere; the answer to the first request is the answer.
    lane.network->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    lane.network->setCookieJar(m_jar);
    m_jar->setParent(this);
    m_lanes.push_back(lane);
    return m_lanes.back();
}

void UpstreamClient::pump()
{
    while (!m_queue.empty() && m_inFlight < std::max(1, m_limits.maxInFlight))
        send(freeLane(), takeNext());
    if (!m_queue.empty())
        giveWay();
}

UpstreamClient::Queued UpstreamClient::takeNext()
{
    // the security holding the fewest slots goes first, and of its requests the oldest
    auto best = m_queue.begin();
    int fewest = std::numeric_limits<int>::max();
    for (auto it = m_queue.begin(); it != m_queue.end() && fewest > 0; ++it) {
        const int held = it->key.isEmpty() ? 0 : m_held.value(it->key);
        if (held < fewest) {
            fewest = held;
            best = it;
        }
    }
    Queued next = std::move(*best);
    m_queue.erase(best);
    return next;
}

void UpstreamClient::giveWay()
{
    int waiting = std::numeric_limits<int>::max(); // the fewest slots a waiting security holds
    QByteArray waitingKey;
    for (const Queued& q : m_queue) {
        const int held = q.key.isEmpty() ? 0 : m_held.value(q.key);
        if (held < waiting) {
            waiting = held;
            waitingKey = q.key;
        }
    }
    // The request to stop: one not answered at all, of the security holding the most slots, and
    // of those the one out longest. A source's own requests (its session) are never stopped.
    Flying* victim = nullptr;
    int victimHeld = 0;
    for (const auto& f : m_flying) {
        if (!f->pending->stopped.isEmpty())
            return; // a slot is already on its way free
    }
    for (const auto& f : m_flying) {
        if (f->key.isEmpty() || f->key == waitingKey || f->pending->answered)
            continue;
        const int held = m_held.value(f->key);
        if (held > victimHeld
            || (held == victimHeld && victim && f->sent.elapsed() > victim->sent.elapsed())) {
            victim = f.get();
            victimHeld = held;
        }
    }
    if (!victim || victimHeld <= waiting)
        return; // every slot is held by securities no better off than the one waiting
    const qint64 out = victim->sent.elapsed();
    if (victimHeld > waiting + 1 || out >= m_limits.giveWayMs) {
        victim->pending->stopped
            = QStringLiteral("gave way to other securities after %1 ms without an answer").arg(out);
        // later, not from inside get(): its finished handler frees the slot and pumps
        if (victim->pending->reply)
            QMetaObject::invokeMethod(victim->pending->reply, &QNetworkReply::abort, Qt::QueuedConnection);
        return;
    }
    if (m_lookAgain)
        return;
    m_lookAgain = true;
    QTimer::singleShot(int(m_limits.giveWayMs - out) + 1, this, [this] {
        m_lookAgain = false;
        pump();
    });
}

void UpstreamClient::get(const QUrl& providerUrl, Done done,
    const QList<QPair<QByteArray, QByteArray>>& headers, const QByteArray& key)
{
    if (!allowed(providerUrl)) {
        QTimer::singleShot(0, this, [done = std::move(done)] {
            UpstreamReply r;
            r.error = QStringLiteral("refused to reach a host that is not the source's own");
            done(r);
        });
        return;
    }
    QNetworkRequest request(resolve(providerUrl));
    request.setHeader(QNetworkRequest::UserAgentHeader, kUserAgent);
    request.setRawHeader("Accept", "application/json,text/plain,*/*");
    request.setRawHeader("Accept-Language", "en-US,en;q=0.9");
    for (const auto& [name, value] : headers)
        request.setRawHeader(name, value);
    // Qt unpacks a compressed answer itself: past the bound it stops with an error of its own
    request.setDecompressedSafetyCheckThreshold(m_limits.maxBytes);
    m_queue.push_back({ request, std::move(done), key });
    pump();
}

void UpstreamClient::send(Lane& lane, Queued queued)
{
    auto pending = std::make_shared<Pending>();
    pending->done = std::move(queued.done);
    QNetworkReply* reply = lane.network->get(queued.request);
    pending->reply = reply;
    ++lane.inFlight;
    ++m_inFlight;
    const QByteArray key = queued.key;
    if (!key.isEmpty())
        ++m_held[key];
    auto flying = std::make_shared<Flying>();
    flying->pending = pending;
    flying->key = key;
    flying->sent.start();
    m_flying.push_back(flying);
    const qint64 maxBytes = m_limits.maxBytes;
    QNetworkAccessManager* const network = lane.network;

    auto stop = [pending](const QString& why) {
        if (pending->stopped.isEmpty())
            pending->stopped = why;
        if (pending->reply)
            pending->reply->abort();
    };
    connect(reply, &QNetworkReply::metaDataChanged, this, [pending, maxBytes, stop] {
        pending->answered = true;
        const QVariant length = pending->reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > maxBytes)
            stop(QStringLiteral("answer larger than %1 bytes").arg(maxBytes));
    });
    connect(reply, &QNetworkReply::readyRead, this, [pending, maxBytes, stop] {
        pending->answered = true;
        pending->body += pending->reply->readAll();
        if (pending->body.size() > maxBytes)
            stop(QStringLiteral("answer larger than %1 bytes").arg(maxBytes));
    });
    const int firstByteMs = m_limits.firstByteMs;
    QTimer::singleShot(firstByteMs, reply, [pending, firstByteMs, stop] {
        if (!pending->answered)
            stop(QStringLiteral("no answer within %1").arg(Seconds(firstByteMs)));
    });
    const int totalMs = m_limits.totalMs;
    QTimer::singleShot(totalMs, reply,
        [totalMs, stop] { stop(QStringLiteral("answer not complete within %1").arg(Seconds(totalMs))); });
    connect(reply, &QNetworkReply::finished, this, [this, pending, maxBytes, network, key] {
        for (Lane& l : m_lanes) {
            if (l.network == network)
                --l.inFlight;
        }
        --m_inFlight;
        if (!key.isEmpty() && --m_held[key] <= 0)
            m_held.remove(key);
        const auto flew = std::find_if(m_flying.begin(), m_flying.end(),
            [&pending](const std::shared_ptr<Flying>& f) { return f->pending == pending; });
        if (flew != m_flying.end())
            m_flying.erase(flew);
        QNetworkReply* r = pending->reply;
        UpstreamReply out;
        if (r && pending->stopped.isEmpty() && r->isReadable()) {
            pending->body += r->readAll();
            if (pending->body.size() > maxBytes)
                pending->stopped = QStringLiteral("answer larger than %1 bytes").arg(maxBytes);
        }
        out.status = r ? r->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() : 0;
        if (!pending->stopped.isEmpty())
            out.error = pending->stopped;
        else if (!r)
            out.error = QStringLiteral("request lost");
        else if (Packed(*r) && r->error() != QNetworkReply::NoError && int(r->error()) < 300)
            // Qt gave up unpacking it: past the bound, or not what it claimed to be
            out.error = QStringLiteral("answer larger than %1 bytes once unpacked, or not unpackable")
                            .arg(maxBytes);
        else if (out.status == 0 || TransportError(r->error()))
            out.error = NetworkFailure(r->error());
        if (out.error.isEmpty()) {
            out.body = std::move(pending->body);
            out.contentType = r->header(QNetworkRequest::ContentTypeHeader).toByteArray();
        }
        if (r)
            r->deleteLater();
        Done done = std::move(pending->done);
        pending->done = nullptr;
        pump(); // before done, which may queue more
        if (done)
            done(std::move(out));
    });
}
