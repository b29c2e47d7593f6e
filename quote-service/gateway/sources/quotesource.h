#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QUrl>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

// What a live source learnt about one security, in the provider's own units (London in pence).
// A figure left empty stays off the page.
struct LiveQuote {
    std::optional<double> last, change, changePercent, high, low, open, previousClose, bid, ask;
    std::optional<double> yearHigh, yearLow;
    std::optional<double> priceEarnings, earningsPerShare, forwardPriceEarnings, dividendPerShare;
    std::optional<double> dividendYield; // percent
    std::optional<double> volume, averageVolume, marketCap, sharesOutstanding, sales;
    std::optional<double> beta;
    std::optional<double> institutionalOwnership; // percent
    std::optional<double> returnOnEquity; // percent
    std::optional<int> delayMinutes;
    std::optional<std::int64_t> time; // UTC seconds of the figures
    QByteArray name; // company, code page 1252
    QByteArray exchange; // code page 1252
    QByteArray currency; // the provider's code for the prices' currency ("USD", "GBp"); may be empty
    QByteArray salesCurrency; // the currency the company reports in, when the provider says; sales are in it
    std::optional<int> pricePlaces; // the decimals the provider quotes the price with (Yahoo's priceHint)
};

struct SourceResult {
    std::optional<LiveQuote> quote; // empty when the source failed for this request
    bool notFound = false; // the provider answered that it does not know the symbol
    QString why; // why it failed, for the service log; never holds a token
};

// How a source is set up: where it goes and what it knows of the shipped lists.
struct SourceContext {
    QUrl upstream; // replaces every host of the source when set (tests, mirrors, proxies)
    QString token; // Finnhub's; never logged
    std::function<bool(const QByteArray& symbol)> isVentureOnly; // on the CVE list and not on the TSX list
};

// One live provider. fetch() never blocks: it answers through done, exactly once, on the
// service's thread.
class QuoteSource : public QObject {
public:
    using Done = std::function<void(SourceResult)>;
    using QObject::QObject;

    virtual QString name() const = 0;
    // Whether the provider has a spelling for the security at all; one that has none is not asked.
    virtual bool canAsk(const QByteArray& /*country*/, const QByteArray& /*symbol*/) const { return true; }
    // country and symbol as Kolpex asks for them ("US", "BRK.B"), already passed by the symbol filter.
    virtual void fetch(const QByteArray& country, const QByteArray& symbol, Done done) = 0;
};

// "yahoo", "finnhub" or "cnbc"; null for a name no source has.
std::unique_ptr<QuoteSource> MakeQuoteSource(const QString& name, const SourceContext& context);
