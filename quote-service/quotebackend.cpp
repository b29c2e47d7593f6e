#include "quotebackend.h"

#include "gateway/gateway.h"
#include "market/market.h"
#include "page/pagecache.h"
#include "page/pagerender.h"

#include <cctype>

namespace {

bool IsCountryCode(const QByteArray& country)
{
    return country.size() == 2 && std::isalpha(static_cast<unsigned char>(country[0]))
        && std::isalpha(static_cast<unsigned char>(country[1]));
}

QByteArray Render(const Security& security, const ServedQuote& quote, qsizetype hugeBytes)
{
    return hugeBytes > 0 ? RenderHugePage(security, quote, hugeBytes) : RenderQuotePage(security, quote);
}

class SimulatedBackend final : public QuoteBackend {
public:
    SimulatedBackend(const SecurityCatalogue& catalogue, Clock now)
        : m_catalogue(catalogue)
        , m_now(std::move(now))
    {
    }

    void page(const QString& countrySymbol, qsizetype hugeBytes, Done done) override
    {
        const Security* security = m_catalogue.find(countrySymbol);
        if (!security) {
            done({ 200, RenderNotFoundPage(countrySymbol.toLatin1()), {}, false });
            return;
        }
        QuoteAnswer answer { 200, {}, {}, true };
        answer.simulated = true;
        const std::int64_t now = m_now();
        if (hugeBytes > 0) {
            answer.body = Render(MarkedSimulated(*security), SimulateQuote(*security, now), hugeBytes);
            done(answer);
            return;
        }
        // A simulated quote is the same all through a minute of its clock: simulated once in it.
        const std::int64_t minute = now >= 0 ? now / 60 : (now - 59) / 60;
        const QByteArray key = security->country + ':' + security->symbol;
        const PageCache::Kept* kept = m_pages.find(key);
        if (!kept || kept->stamp != minute)
            kept = &m_pages.keep(key, MarkedSimulated(*security), SimulateQuote(*security, now), minute);
        answer.body = kept->page;
        done(answer);
    }

private:
    const SecurityCatalogue& m_catalogue;
    Clock m_now;
    PageCache m_pages;
};

class LiveBackend final : public QuoteBackend {
public:
    LiveBackend(QuoteGateway& gateway, const SecurityCatalogue& catalogue, LiveFormatter formatter, Clock now)
        : m_gateway(&gateway)
        , m_catalogue(catalogue)
        , m_formatter(std::move(formatter))
        , m_now(std::move(now))
    {
    }

    void page(const QString& countrySymbol, qsizetype hugeBytes, Done done) override
    {
        const QByteArray asked = countrySymbol.toLatin1();
        const qsizetype colon = asked.indexOf(':');
        const QByteArray country = asked.left(colon);
        const QByteArray symbol = colon < 0 ? QByteArray() : asked.mid(colon + 1);
        // Nothing that is not plainly a symbol goes near a provider.
        if (colon < 0 || !IsCountryCode(country) || !IsAllowedSymbol(symbol)) {
            done({ 200, RenderNotFoundPage(asked.left(64)), "refused symbol", false });
            return;
        }
        // The gateway may answer after this backend is gone (the service stops): then nobody hears.
        m_gateway->quote(country, symbol,
            [alive = std::weak_ptr<int>(m_alive), this, country, symbol, hugeBytes, done](
                const GatewayAnswer& got) {
                if (alive.expired())
                    return;
                done(answer(got, country, symbol, hugeBytes));
            });
    }

private:
    QuoteAnswer answer(
        const GatewayAnswer& got, const QByteArray& country, const QByteArray& symbol, qsizetype hugeBytes)
    {
        QuoteAnswer answer;
        answer.note = got.note.toUtf8();
        switch (got.outcome) {
        case GatewayOutcome::Live:
        case GatewayOutcome::Cached:
        case GatewayOutcome::Stale: {
            Security security;
            security.country = country.toUpper();
            security.symbol = symbol;
            const Security* known = m_catalogue.find(QString::fromLatin1(country + ':' + symbol));
            security.name = !got.quote.name.isEmpty() ? got.quote.name : known ? known->name : QByteArray();
            security.exchangeName = !got.quote.exchange.isEmpty() ? got.quote.exchange
                : known                                           ? known->exchangeName
                                                                  : QByteArray();
            const ServedQuote served = m_formatter(got.quote, m_now());
            answer.body = hugeBytes > 0
                ? Render(security, served, hugeBytes)
                : m_pages.keep(security.country + ':' + symbol, security, served, 0).page;
            answer.quotePage = true;
            answer.stale = got.outcome == GatewayOutcome::Stale;
            answer.ageSeconds = int(std::max<std::int64_t>(0, got.ageMs / 1000));
            break;
        }
        case GatewayOutcome::NotFound:
            answer.body = RenderNotFoundPage(country + ':' + symbol);
            break;
        case GatewayOutcome::Failed:
            answer.status = 502; // empty: the program shows its no-data message
            break;
        }
        return answer;
    }

    QuoteGateway* m_gateway;
    const SecurityCatalogue& m_catalogue;
    LiveFormatter m_formatter;
    Clock m_now;
    PageCache m_pages;
    std::shared_ptr<int> m_alive = std::make_shared<int>(0);
};

} // namespace

std::unique_ptr<QuoteBackend> MakeSimulatedBackend(
    const SecurityCatalogue& catalogue, QuoteBackend::Clock now)
{
    return std::make_unique<SimulatedBackend>(catalogue, std::move(now));
}

std::unique_ptr<QuoteBackend> MakeLiveBackend(QuoteGateway& gateway, const SecurityCatalogue& catalogue,
    QuoteBackend::LiveFormatter formatter, QuoteBackend::Clock now)
{
    return std::make_unique<LiveBackend>(gateway, catalogue, std::move(formatter), std::move(now));
}
