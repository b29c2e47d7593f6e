#pragma once

#include "gateway/sources/quotesource.h"
#include "gateway/sources/slowfigures.h"
#include "gateway/sources/upstream.h"

#include <QElapsedTimer>
#include <vector>

// What each of Yahoo's answers holds, from the bytes as they came: no network, nothing trusted.
SourceResult ParseYahooQuote(const QByteArray& body); // /v7/finance/quote
SourceResult ParseYahooChart(const QByteArray& body); // /v8/finance/chart meta
// /v10/finance/quoteSummary: the quote's slow figures (beta, ownership, return on equity, sales).
SourceResult ParseYahooSummary(const QByteArray& body);
// The crumb, or empty when the body is not one (an HTML page, an error text).
QByteArray ParseYahooCrumb(const QByteArray& body);

// Yahoo without a key: a cookie from fc.yahoo.com and a crumb bought with it open the quote API;
// the chart API, which needs neither, stands in when that is refused or rate limited.
class YahooSource final : public QuoteSource {
public:
    explicit YahooSource(const SourceContext& context, QObject* parent = nullptr);
    Q_DISABLE_COPY_MOVE(YahooSource)

    QString name() const override { return QStringLiteral("yahoo"); }
    bool canAsk(const QByteArray& country, const QByteArray& symbol) const override;
    void fetch(const QByteArray& country, const QByteArray& symbol, Done done) override;

    UpstreamClient& client() { return m_client; }
    // How long the slow figures are kept, after an answer and after a failure to get one.
    void setSummaryLifetimes(qint64 answeredMs, qint64 failedMs);
    // How long a refused handshake is not tried again.
    void setHandshakePause(qint64 ms);

private:
    struct Request;
    using RequestPtr = std::shared_ptr<Request>;
    using SessionDone = std::function<void(bool ok, const QString& why)>;

    void withSession(SessionDone then);
    void endHandshake(bool ok, const QString& why);
    void renewAfterRefusal(int refusedSession, SessionDone then);
    void askQuote(const RequestPtr& request);
    void askSummary(const RequestPtr& request);
    void askChart(const RequestPtr& request, const QString& whyNotQuote);
    void settle(const RequestPtr& request, SourceResult figures);
    void finishIfDone(const RequestPtr& request);

    SourceContext m_context;
    UpstreamClient m_client;
    QByteArray m_crumb;
    int m_session = 0; // counts the crumbs bought, so a late refusal does not renew a fresh one
    bool m_handshaking = false;
    qint64 m_lastRefusalMs = -1;
    QString m_lastRefusal;
    qint64 m_handshakePauseMs = 5LL * 60 * 1000;
    // The quote API refused even a fresh crumb: for the same pause the chart alone is asked,
    // rather than buying a new session for every symbol only to be refused again.
    qint64 m_quoteRefusedAtMs = -1;
    QString m_quoteRefusal;
    std::vector<SessionDone> m_waiting;
    SlowFigures m_summaries;
    QElapsedTimer m_clock;
};
