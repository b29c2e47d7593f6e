#pragma once

#include "gateway/sources/quotesource.h"
#include "gateway/sources/slowfigures.h"
#include "gateway/sources/upstream.h"

// What each of Finnhub's answers holds, from the bytes as they came: no network, nothing trusted.
SourceResult ParseFinnhubQuote(const QByteArray& body); // /api/v1/quote
SourceResult ParseFinnhubProfile(const QByteArray& body); // /api/v1/stock/profile2
// /api/v1/stock/metric?metric=all; the revenue per share makes the sales once the share count is
// known, and the share count tells the scale of the average volume.
SourceResult ParseFinnhubMetric(const QByteArray& body, std::optional<double>* revenuePerShare = nullptr,
    std::optional<double> sharesOutstanding = std::nullopt);
// The slow figures from the profile's and the ratios' answers (null: that request failed);
// answered when both were answers.
LiveQuote FinnhubCompany(const QByteArray* profileBody, const QByteArray* metricBody, bool* answered);

// Finnhub with the user's free key. The quote comes every time; the company's profile and
// ratios change slowly and are kept for hours. The token is sent and never shown.
class FinnhubSource final : public QuoteSource {
public:
    explicit FinnhubSource(const SourceContext& context, QObject* parent = nullptr);
    Q_DISABLE_COPY_MOVE(FinnhubSource)

    QString name() const override { return QStringLiteral("finnhub"); }
    bool canAsk(const QByteArray& country, const QByteArray& symbol) const override;
    void fetch(const QByteArray& country, const QByteArray& symbol, Done done) override;

    UpstreamClient& client() { return m_client; }
    void setProfileLifetimes(qint64 answeredMs, qint64 failedMs);

private:
    struct Request;
    using RequestPtr = std::shared_ptr<Request>;

    QUrl apiUrl(const QByteArray& path, const QByteArray& symbol, const QByteArray& more = {}) const;
    void get(const QUrl& url, UpstreamClient::Done done);
    QString clean(QString why) const;
    static SourceResult QuoteResult(const UpstreamReply& reply);
    void finishIfDone(const RequestPtr& request);

    SourceContext m_context;
    UpstreamClient m_client;
    SlowFigures m_slow;
};
