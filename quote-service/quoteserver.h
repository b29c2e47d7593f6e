#pragma once

#include "catalogue.h"
#include "options.h"

#include <QElapsedTimer>
#include <QHttpServer>
#include <QObject>

class QHttpServerRequest;
class QHttpServerResponder;

// The HTTP side: answers the quote URL from the catalogue and the simulated market, applying
// the fault plan of the security asked for, and logs one line per request.
class QuoteServer final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(QuoteServer)

public:
    QuoteServer(const ServiceOptions& options, const SecurityCatalogue& catalogue, QObject* parent = nullptr);

    // The port listened on, 0 when the address could not be bound.
    quint16 listen();

    std::int64_t now() const;

private:
    struct Answer {
        int status = 200;
        QByteArray body;
    };

    void handleQuote(const QHttpServerRequest& request, QHttpServerResponder&& responder);
    void handleOther(const QHttpServerRequest& request, QHttpServerResponder&& responder);
    Answer quoteAnswer(const QString& countrySymbol, const FaultPlan& plan) const;
    void deliver(QHttpServerResponder& responder, const FaultPlan& plan, const Answer& answer,
        const QByteArray& target, const QElapsedTimer& started);
    void log(const QByteArray& target, int status, qint64 bytes, qint64 ms, const char* note) const;

    const ServiceOptions& m_options;
    const SecurityCatalogue& m_catalogue;
    QHttpServer m_server;
    std::int64_t m_clockStart = 0; // UTC seconds at m_sinceStart's start
    QElapsedTimer m_sinceStart;
};
