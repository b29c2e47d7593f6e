#include "quoteserver.h"

#include "market.h"
#include "pagerender.h"

#include <QDateTime>
#include <QHostAddress>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrlQuery>
#include <cstdio>
#include <memory>

namespace {

const QByteArray kHtmlType = QByteArrayLiteral("text/html; charset=windows-1252");

QByteArray ReasonPhrase(int status)
{
    switch (status) {
    case 400:
        return "Bad Request";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    case 502:
        return "Bad Gateway";
    case 503:
        return "Service Unavailable";
    case 504:
        return "Gateway Timeout";
    default:
        return "Error";
    }
}

const char* FaultNote(FaultKind kind)
{
    switch (kind) {
    case FaultKind::Stall:
        return "stalled";
    case FaultKind::Close:
        return "closed";
    case FaultKind::Error:
        return "error";
    case FaultKind::Empty:
        return "empty";
    case FaultKind::Huge:
        return "huge";
    default:
        return "";
    }
}

QByteArray Target(const QHttpServerRequest& request)
{
    QByteArray target = request.url().path(QUrl::FullyEncoded).toLatin1();
    if (request.url().hasQuery())
        target += '?' + request.url().query(QUrl::FullyEncoded).toLatin1();
    return target;
}

} // namespace

QuoteServer::QuoteServer(const ServiceOptions& options, const SecurityCatalogue& catalogue, QObject* parent)
    : QObject(parent)
    , m_options(options)
    , m_catalogue(catalogue)
    , m_clockStart(options.now ? *options.now : QDateTime::currentSecsSinceEpoch())
{
    m_sinceStart.start();
    m_server.route(QStringLiteral("/detail/stock_quote"),
        [this](const QHttpServerRequest& request, QHttpServerResponder&& responder) {
            handleQuote(request, std::move(responder));
        });
    m_server.setMissingHandler([this](const QHttpServerRequest& request, QHttpServerResponder&& responder) {
        handleOther(request, std::move(responder));
    });
}

quint16 QuoteServer::listen()
{
    return m_server.listen(QHostAddress(m_options.address), quint16(m_options.port));
}

std::int64_t QuoteServer::now() const
{
    if (m_options.rate > 0)
        return m_clockStart + std::int64_t(double(m_sinceStart.elapsed()) * m_options.rate / 1000.0);
    return m_options.now ? *m_options.now : QDateTime::currentSecsSinceEpoch();
}

QuoteServer::Answer QuoteServer::quoteAnswer(const QString& countrySymbol, const FaultPlan& plan) const
{
    if (plan.mode == FaultKind::Error) {
        const int status = int(plan.value);
        return { status, RenderErrorPage(status, ReasonPhrase(status)) };
    }
    if (plan.mode == FaultKind::Empty)
        return { 200, QByteArray() };
    const Security* security = m_catalogue.find(countrySymbol);
    if (!security)
        return { 200, RenderNotFoundPage(countrySymbol.toLatin1()) };
    const ServedQuote quote = SimulateQuote(*security, now());
    if (plan.mode == FaultKind::Huge)
        return { 200, RenderHugePage(*security, quote, qsizetype(plan.value)) };
    return { 200, RenderQuotePage(*security, quote) };
}

void QuoteServer::handleQuote(const QHttpServerRequest& request, QHttpServerResponder&& responder)
{
    QElapsedTimer started;
    started.start();
    const QString countrySymbol
        = QUrlQuery(request.url()).queryItemValue(QStringLiteral("Symbol"), QUrl::FullyDecoded);
    const FaultPlan plan = ResolveFaults(m_options.faults, countrySymbol);
    const QByteArray target = Target(request);
    if (plan.delayMs <= 0) {
        deliver(responder, plan, quoteAnswer(countrySymbol, plan), target, started);
        return;
    }
    // The responder outlives this call; the socket may go away meanwhile if the client gives up.
    auto held = std::make_shared<QHttpServerResponder>(std::move(responder));
    QPointer<QTcpSocket> socket = held->socket();
    QTimer::singleShot(plan.delayMs, this, [this, held, socket, plan, countrySymbol, target, started] {
        if (!socket || socket->state() != QAbstractSocket::ConnectedState) {
            log(target, 0, 0, started.elapsed(), "client gone");
            return;
        }
        deliver(*held, plan, quoteAnswer(countrySymbol, plan), target, started);
    });
}

void QuoteServer::handleOther(const QHttpServerRequest& request, QHttpServerResponder&& responder)
{
    QElapsedTimer started;
    started.start();
    const QByteArray body = RenderErrorPage(404, ReasonPhrase(404));
    responder.write(body, kHtmlType, QHttpServerResponder::StatusCode::NotFound);
    log(Target(request), 404, body.size(), started.elapsed(), "");
}

void QuoteServer::deliver(QHttpServerResponder& responder, const FaultPlan& plan, const Answer& answer,
    const QByteArray& target, const QElapsedTimer& started)
{
    const auto status = QHttpServerResponder::StatusCode(answer.status);
    if (plan.mode != FaultKind::Stall && plan.mode != FaultKind::Close) {
        responder.write(answer.body, kHtmlType, status);
        log(target, answer.status, answer.body.size(), started.elapsed(), FaultNote(plan.mode));
        return;
    }
    // Promise the whole body, send only part of it.
    const qsizetype part = plan.value > 0 ? std::min<qsizetype>(qsizetype(plan.value), answer.body.size())
                                          : answer.body.size() / 2;
    responder.writeStatusLine(status);
    responder.writeHeader(QByteArrayLiteral("Content-Type"), kHtmlType);
    responder.writeHeader(QByteArrayLiteral("Content-Length"), QByteArray::number(answer.body.size()));
    responder.writeBody(answer.body.constData(), part);
    QTcpSocket* socket = responder.socket();
    socket->flush();
    if (plan.mode == FaultKind::Close)
        socket->disconnectFromHost();
    log(target, answer.status, part, started.elapsed(), FaultNote(plan.mode));
}

void QuoteServer::log(const QByteArray& target, int status, qint64 bytes, qint64 ms, const char* note) const
{
    if (m_options.quiet)
        return;
    const QByteArray time = QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toLatin1();
    std::fprintf(stdout, "%s GET %s %d %lld bytes %lld ms%s%s\n", time.constData(), target.constData(),
        status, static_cast<long long>(bytes), static_cast<long long>(ms), *note ? " " : "", note);
    std::fflush(stdout);
}
