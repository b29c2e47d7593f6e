#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QNetworkRequest>
#include <QObject>
#include <QPair>
#include <QString>
#include <QUrl>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

class QNetworkAccessManager;
class QNetworkCookieJar;

// What one upstream request came to. status is 0 when no HTTP answer arrived; error then says why
// (and is empty whenever an answer arrived, whatever its status).
struct UpstreamReply {
    int status = 0;
    QByteArray body;
    QByteArray contentType;
    QString error;

    bool ok() const { return error.isEmpty() && status == 200; }
    // "HTTP 429", "no answer within 10 s": for the service log, never with a query string.
    QString describe() const;
};

struct UpstreamLimits {
    int firstByteMs = 10'000; // from when the request is sent, not from when it was queued
    int totalMs = 20'000;
    qint64 maxBytes = 2 * 1024 * 1024; // as unpacked, for a compressed answer
    int maxInFlight = 96; // requests sent and not yet answered; the rest wait their turn here
    // With every slot taken and a security waiting that holds none, a request that has had no
    // answer for this long gives its slot up (one of a security holding more than its share does
    // at once), so that stalled securities cannot keep the others out until their time-outs.
    int giveWayMs = 1000;
};

// The asynchronous GET client of one source: its own cookie jar, a browser's User-Agent, time-outs
// and a size bound, and a fixed set of hosts it may reach. With an upstream URL set, every host of
// the source is replaced by that URL and nothing else is reached at all.
//
// Qt opens at most six connections to a host and queues the rest out of sight, where a stalled
// answer holds up every request behind it while their time-outs run. So the client sends through
// as many lanes (each a QNetworkAccessManager, sharing one cookie jar) as it needs to keep each
// lane under six, caps the requests in flight itself, and starts each time-out when its request
// is actually sent.
class UpstreamClient final : public QObject {
public:
    using Done = std::function<void(UpstreamReply)>;

    UpstreamClient(QStringList sourceHosts, const QUrl& upstream, QObject* parent = nullptr);
    ~UpstreamClient() override;
    Q_DISABLE_COPY_MOVE(UpstreamClient)

    void setLimits(const UpstreamLimits& limits) { m_limits = limits; }
    const UpstreamLimits& limits() const { return m_limits; }

    // The address a provider URL is actually fetched from (the upstream rewrite applied).
    QUrl resolve(const QUrl& providerUrl) const;
    // done runs exactly once, later, on this thread; never from inside get(). key names the
    // security the request is for (empty: the source's own, such as a session handshake): the
    // slots are shared out between securities, not between requests.
    void get(const QUrl& providerUrl, Done done, const QList<QPair<QByteArray, QByteArray>>& headers = {},
        const QByteArray& key = {});
    // Forgets every cookie, for a new session.
    void resetCookies();
    int inFlight() const { return m_inFlight; }
    qsizetype queued() const { return m_queue.size(); }

private:
    struct Queued {
        QNetworkRequest request;
        Done done;
        QByteArray key;
    };
    struct Flying; // a request sent and not yet finished
    struct Lane {
        QNetworkAccessManager* network = nullptr;
        int inFlight = 0;
    };

    bool allowed(const QUrl& url) const;
    void pump();
    Queued takeNext();
    // Stops one request for a waiting security that holds fewer slots, or looks again when one
    // may give way.
    void giveWay();
    void send(Lane& lane, Queued queued);
    Lane& freeLane();

    QStringList m_sourceHosts;
    QUrl m_upstream;
    UpstreamLimits m_limits;
    QNetworkCookieJar* m_jar;
    std::vector<Lane> m_lanes;
    std::deque<Queued> m_queue;
    int m_inFlight = 0;
    QHash<QByteArray, int> m_held; // slots held per security
    std::vector<std::shared_ptr<Flying>> m_flying;
    bool m_lookAgain = false;
};

// A URL without its query, for anything written to a log or an error text.
QString LoggableUrl(const QUrl& url);
