#pragma once

#include "http/httpserver.h"
#include "http/refusallog.h"
#include "market/catalogue.h"
#include "market/market.h"
#include "options/options.h"
#include "quotebackend.h"

#include <QElapsedTimer>
#include <QObject>
#include <functional>

class QuoteGateway;

// The HTTP side: answers the quote URL from its backend (the simulated market, or the gateway to
// live sources), applying the fault plan of the security asked for, and logs one line per request.
class QuoteServer final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(QuoteServer)

public:
    using LiveFormatter = QuoteBackend::LiveFormatter;

    // Without a gateway the service serves the simulated market.
    QuoteServer(const ServiceOptions& options, const SecurityCatalogue& catalogue,
        QuoteGateway* gateway = nullptr, LiveFormatter formatter = {}, QObject* parent = nullptr);

    // The port listened on, 0 when the address could not be bound.
    quint16 listen();
    // Serves on an inherited listening socket instead; the port it listens on, 0 when unusable.
    quint16 adopt(qintptr descriptor);
    QHostAddress address() const { return m_http.address(); }
    HttpServer& http() { return m_http; }

    std::int64_t now() const;

private:
    using Answer = QuoteAnswer;

    // One request on its way: what the log line names.
    struct Asked {
        QByteArray method;
        QByteArray target; // without the path prefix
        QElapsedTimer started;
    };

    void handle(const HttpRequest& request, HttpReply reply);
    void answerQuote(
        const QString& countrySymbol, const FaultPlan& plan, const Asked& asked, HttpReply reply);
    void deliver(HttpReply& reply, const FaultPlan& plan, const Answer& answer, const Asked& asked);
    HttpHeaders cacheHeaders(const Answer& answer, bool kept) const;
    void log(const Asked& asked, int status, qint64 bytes, const QByteArray& note) const;
    void writeLine(const QByteArray& text) const;

    const ServiceOptions& m_options;
    std::unique_ptr<QuoteBackend> m_backend;
    RefusalLog m_refusals;
    HttpServer m_http;
    std::int64_t m_clockStart = 0; // UTC seconds at m_sinceStart's start
    QElapsedTimer m_sinceStart;
};
