#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QUrl>
#include <functional>
#include <memory>

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
    int firstByteMs = 10'000;
    int totalMs = 20'000;
    qint64 maxBytes = 2 * 1024 * 1024;
};

// The asynchronous GET client of one source: its own cookie jar, a browser's User-Agent, time-outs
// and a size bound, and a fixed set of hosts it may reach. With an upstream URL set, every host of
// the source is replaced by that URL and nothing else is reached at all.
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
    // done runs exactly once, later, on this thread; never from inside get().
    void get(const QUrl& providerUrl, Done done, const QList<QPair<QByteArray, QByteArray>>& headers = {});
    // Forgets every cookie, for a new session.
    void resetCookies();

private:
    bool allowed(const QUrl& url) const;

    QStringList m_sourceHosts;
    QUrl m_upstream;
    UpstreamLimits m_limits;
    QNetworkAccessManager* m_network;
};

// A URL without its query, for anything written to a log or an error text.
QString LoggableUrl(const QUrl& url);
