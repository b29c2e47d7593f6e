#pragma once

#include "quotesource.h"
#include "upstream.h"

#include <QElapsedTimer>
#include <QHash>

// What each of Finnhub's answers holds, from the bytes as they came: no network, nothing trusted.
SourceResult ParseFinnhubQuote(const QByteArray& body); // /api/v1/quote
SourceResult ParseFinnhubProfile(const QByteArray& body); // /api/v1/stock/profile2
// /api/v1/stock/metric?metric=all; the revenue per share makes the sales once the share count is known.
SourceResult ParseFinnhubMetric(const QByteArray& body, std::optional<double>* revenuePerShare = nullptr);

// Finnhub with the user's free key. The quote comes every time; the company's profile and
// ratios change slowly and are kept for hours. The token is sent and never shown.
class FinnhubSource final : public QuoteSource {
public:
    explicit FinnhubSource(const SourceContext& context, QObject* parent = nullptr);
    Q_DISABLE_COPY_MOVE(FinnhubSource)

    QString name() const override { return QStringLiteral("finnhub"); }
    void fetch(const QByteArray& country, const QByteArray& symbol, Done done) override;

    UpstreamClient& client() { return m_client; }
    void setProfileLifetimes(qint64 answeredMs, qint64 failedMs);

private:
    struct Request;
    using RequestPtr = std::shared_ptr<Request>;

    QUrl apiUrl(const QByteArray& path, const QByteArray& query) const;
    QString clean(QString why) const;
    void askProfile(const RequestPtr& request, LiveQuote quote);
    void askMetric(const RequestPtr& request, LiveQuote quote, LiveQuote slow, bool profileAnswered);
    void finish(const RequestPtr& request, SourceResult result);

    struct Slow {
        LiveQuote figures;
        qint64 bornMs = 0;
        bool answered = false;
    };

    SourceContext m_context;
    UpstreamClient m_client;
    QHash<QByteArray, Slow> m_slow;
    QElapsedTimer m_clock;
    qint64 m_answeredMs = 6LL * 3600 * 1000;
    qint64 m_failedMs = 15LL * 60 * 1000;
};
