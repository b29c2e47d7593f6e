#pragma once

#include "market/catalogue.h"
#include "options/options.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

class QuoteGateway;
struct LiveQuote;
struct ServedQuote;

// One quote URL's answer before any fault plays with it.
struct QuoteAnswer {
    int status = 200;
    QByteArray body;
    QByteArray note; // for the log
    bool quotePage = false; // a quote, which a cache may keep; not a no-data page
    bool simulated = false; // fresh until its clock's next minute
    bool stale = false; // an old quote standing in while every source fails
    int ageSeconds = 0; // of a live quote, since its source gave it
};

// Where the server's quote pages come from: the simulated market or the live gateway. The server
// asks it and does not care which.
class QuoteBackend {
public:
    using Done = std::function<void(const QuoteAnswer&)>;
    using Clock = std::function<std::int64_t()>; // UTC seconds
    // How a live quote prints on the page at a given moment (UTC seconds).
    using LiveFormatter = std::function<ServedQuote(const LiveQuote&, std::int64_t)>;

    virtual ~QuoteBackend() = default;
    // Answers through done exactly once, at once or later; `hugeBytes` > 0 asks for a page padded
    // to that size.
    virtual void page(const QString& countrySymbol, qsizetype hugeBytes, Done done) = 0;
};

std::unique_ptr<QuoteBackend> MakeSimulatedBackend(
    const SecurityCatalogue& catalogue, QuoteBackend::Clock now);
std::unique_ptr<QuoteBackend> MakeLiveBackend(QuoteGateway& gateway, const SecurityCatalogue& catalogue,
    QuoteBackend::LiveFormatter formatter, QuoteBackend::Clock now);
