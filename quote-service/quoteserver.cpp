#include "quoteserver.h"

#include "pagerender.h"

#include <QDateTime>
#include <QHostAddress>
#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>
#include <cstdio>

namespace {

const QByteArray kHtmlType = QByteArrayLiteral("text/html; charset=windows-1252");

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

// Whether the target lies below /PREFIX/, in a time that says nothing about how much of it matched.
bool BelowPrefix(const QByteArray& target, const QByteArray& prefix)
{
    const QByteArray wanted = '/' + prefix + '/';
    unsigned char differs = target.size() < wanted.size() ? 1 : 0;
    for (qsizetype i = 0; i < wanted.size(); ++i)
        differs |= static_cast<unsigned char>(wanted[i] ^ (i < target.size() ? target[i] : 0));
    return differs == 0;
}

// Why there is no quote, in a header line: printable ASCII only, and not a novel.
HttpHeaders ReasonHeader(const QByteArray& note)
{
    if (note.isEmpty())
        return {};
    QByteArray value = note.left(400);
    for (char& c : value) {
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7e)
            c = ' ';
    }
    return { { QByteArrayLiteral("X-Kolpex-Reason"), value.trimmed() } };
}

} // namespace

QuoteServer::QuoteServer(const ServiceOptions& options, const SecurityCatalogue& catalogue,
    QuoteGateway* gateway, LiveFormatter formatter, QObject* parent)
    : QObject(parent)
    , m_options(options)
    , m_http([this](const HttpRequest& request, HttpReply reply) { handle(request, std::move(reply)); })
    , m_clockStart(options.now ? *options.now : QDateTime::currentSecsSinceEpoch())
{
    m_sinceStart.start();
    auto clock = [this] { return now(); };
    m_backend = gateway ? MakeLiveBackend(*gateway, catalogue, std::move(formatter), clock)
                        : MakeSimulatedBackend(catalogue, clock);
    m_http.setIdleTimeoutMs(options.idleMs);
    m_http.setMaxConnections(options.maxConnections);
}

quint16 QuoteServer::listen()
{
    return m_http.listen(QHostAddress(m_options.address), quint16(m_options.port)) ? m_http.port() : 0;
}

quint16 QuoteServer::adopt(qintptr descriptor)
{
    return m_http.adopt(descriptor) ? m_http.port() : 0;
}

std::int64_t QuoteServer::now() const
{
    if (m_options.rate > 0)
        return m_clockStart + std::int64_t(double(m_sinceStart.elapsed()) * m_options.rate / 1000.0);
    return m_options.now ? *m_options.now : QDateTime::currentSecsSinceEpoch();
}

void QuoteServer::handle(const HttpRequest& request, HttpReply reply)
{
    QElapsedTimer started;
    started.start();
    // A private service answers only under its prefix; the log never shows the prefix.
    const QByteArray prefix = m_options.pathPrefix.toLatin1();
    const bool outside = !prefix.isEmpty() && !BelowPrefix(request.target, prefix);
    const QByteArray target
        = prefix.isEmpty() || outside ? request.target : request.target.mid(prefix.size() + 1);
    const QUrl url = QUrl::fromEncoded(target);
    if (outside || url.path() != QLatin1String("/detail/stock_quote")) {
        const QByteArray body = RenderErrorPage(404, HttpReason(404));
        reply.send(404, kHtmlType, body, { { "Cache-Control", "no-store" } });
        log(target, 404, body.size(), started.elapsed(), outside ? "outside the path prefix" : "");
        return;
    }
    const QString countrySymbol = QUrlQuery(url).queryItemValue(QStringLiteral("Symbol"), QUrl::FullyDecoded);
    const FaultPlan plan = ResolveFaults(m_options.faults, countrySymbol);
    if (plan.delayMs <= 0) {
        answerQuote(countrySymbol, plan, target, started, std::move(reply));
        return;
    }
    QTimer::singleShot(plan.delayMs, this, [this, reply, plan, countrySymbol, target, started] {
        if (!reply.alive()) {
            log(target, 0, 0, started.elapsed(), "client gone");
            return;
        }
        answerQuote(countrySymbol, plan, target, started, reply);
    });
}

void QuoteServer::answerQuote(const QString& countrySymbol, const FaultPlan& plan, const QByteArray& target,
    const QElapsedTimer& started, HttpReply reply)
{
    if (plan.mode == FaultKind::Error) {
        const int status = int(plan.value);
        deliver(reply, plan, { status, RenderErrorPage(status, HttpReason(status)), {} }, target, started);
        return;
    }
    if (plan.mode == FaultKind::Empty) {
        deliver(reply, plan, { 200, QByteArray(), {} }, target, started);
        return;
    }
    const qsizetype huge = plan.mode == FaultKind::Huge ? qsizetype(plan.value) : 0;
    QPointer<QuoteServer> self(this);
    m_backend->page(countrySymbol, huge, [self, reply, plan, target, started](const Answer& answer) mutable {
        if (!self)
            return;
        if (!reply.alive()) {
            self->log(target, 0, 0, started.elapsed(), "client gone; " + answer.note);
            return;
        }
        self->deliver(reply, plan, answer, target, started);
    });
}

void QuoteServer::deliver(HttpReply& reply, const FaultPlan& plan, const Answer& answer,
    const QByteArray& target, const QElapsedTimer& started)
{
    QByteArray note = FaultNote(plan.mode);
    if (!answer.note.isEmpty())
        note += (note.isEmpty() ? "" : " ") + answer.note;
    const QByteArray type = answer.body.isEmpty() && answer.status != 200 ? QByteArray() : kHtmlType;
    // A quote page may be kept by any cache in front of the service as long as the service would
    // keep it; a no-data or error answer by none.
    const bool quotePage = answer.status == 200 && answer.quotePage && plan.mode != FaultKind::Empty;
    HttpHeaders extra { { "Cache-Control",
        quotePage ? "max-age=" + QByteArray::number(m_options.cacheSeconds) : QByteArray("no-store") } };
    if (!answer.quotePage)
        extra += ReasonHeader(answer.note);
    if (plan.mode != FaultKind::Stall && plan.mode != FaultKind::Close) {
        reply.send(answer.status, type, answer.body, extra);
        log(target, answer.status, answer.body.size(), started.elapsed(), note);
        return;
    }
    // Promise the whole body, send only part of it.
    const qsizetype part = plan.value > 0 ? std::min<qsizetype>(qsizetype(plan.value), answer.body.size())
                                          : answer.body.size() / 2;
    reply.sendPart(answer.status, type, answer.body, part, plan.mode == FaultKind::Close, extra);
    log(target, answer.status, part, started.elapsed(), note);
}

void QuoteServer::log(
    const QByteArray& target, int status, qint64 bytes, qint64 ms, const QByteArray& text) const
{
    if (m_options.quiet)
        return;
    // What a client or a provider sent may end up here: one line each, and not a novel.
    const QByteArray note = HttpLogText(text.left(400));
    const QByteArray time = QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toLatin1();
    std::fprintf(stdout, "%s GET %s %d %lld bytes %lld ms%s%s\n", time.constData(),
        HttpLogText(target).constData(), status, static_cast<long long>(bytes), static_cast<long long>(ms),
        note.isEmpty() ? "" : " ", note.constData());
    std::fflush(stdout);
}
