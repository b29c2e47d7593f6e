#pragma once

#include "gateway/sources/quotesource.h"
#include "gateway/sources/upstream.h"

#include <QJsonValue>

// What CNBC's quote service answered, from the bytes as they came: no network, nothing trusted.
// restQuote, output=json; an answer about another symbol than asked (when asked is given) fails.
SourceResult ParseCnbcQuote(const QByteArray& body, const QByteArray& asked = {});
// A CNBC figure as it prints it ("1,234.56", "+0.53", "0.44%", "3.46T", "52.1M"), or a plain
// JSON number; none for anything else ("UNCH", "N/A", "--").
std::optional<double> CnbcNumber(const QJsonValue& value);
// How CNBC spells one of our symbols: "SAP-DE", "RY-CA", "AAPL", ".SPX" for ^GSPC; empty for a
// country it has no market of ours for, or an index or pair it is not known to spell.
QByteArray CnbcSymbol(const QByteArray& country, const QByteArray& symbol,
    const std::function<bool(const QByteArray&)>& isVentureOnly);

// CNBC without a key, cookie or session: one request a symbol brings the price, the day's range
// and the company's ratios together, for every country of the worldwide search.
class CnbcSource final : public QuoteSource {
public:
    explicit CnbcSource(const SourceContext& context, QObject* parent = nullptr);
    Q_DISABLE_COPY_MOVE(CnbcSource)

    QString name() const override { return QStringLiteral("cnbc"); }
    bool canAsk(const QByteArray& country, const QByteArray& symbol) const override;
    void fetch(const QByteArray& country, const QByteArray& symbol, Done done) override;

    UpstreamClient& client() { return m_client; }

private:
    SourceContext m_context;
    UpstreamClient m_client;
};
