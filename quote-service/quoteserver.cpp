#include "quoteserver.h"

#include "page/pagerender.h"

#include <QDateTime>
#include <QHostAddress>
#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>
#include <cmath>
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
    , m_refusals([this](const QByteArray& line) { writeLine(line); })
    , m_http([this](const HttpRequest& request, HttpReply reply) { handle(request, std::move(reply)); })
    , m_clockStart(options.now ? *options.now : QDateTime::currentSecsSinceEpoch())
{
    m_sinceStart.start();
    auto clock = [this] { return now(); };
    m_backend = gateway ? MakeLiveBackend(*gateway, catalogue, std::move(formatter), clock)
                        : MakeSimulatedBackend(catalogue, clock);
    m_http.setIdleTimeoutMs(options.idleMs);
    m_http.setMaxConnections(options.maxConnections);
    m_http.setRefusedHandler([this](int status) { m_refusals.count(status); });
    m_http.setGoneHandler([this](const HttpRequest& request) {
        const QByteArray prefix = m_options.pathPrefix.toLatin1();
        Asked asked { request.method,
            prefix.isEmpty() ? request.target : request.target.mid(prefix.size() + 1), {} };
        log(asked, 0, 0, "client gone");
    });
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
    Asked asked;
    asked.started.start();
    asked.method = request.method;
    // A private service answers only under its prefix; the log never shows the prefix.
    const QByteArray prefix = m_options.pathPrefix.toLatin1();
    const bool outside = !prefix.isEmpty() && !BelowPrefix(request.target, prefix);
    asked.target = prefix.isEmpty() || outside ? request.target : request.target.mid(prefix.size() + 1);
    const QUrl url = QUrl::fromEncoded(asked.target);
    if (outside || url.path() != QLatin1String("/detail/stock_quote")) {
        static const QByteArray body = RenderErrorPage(404, HttpReason(404));
        reply.send(404, kHtmlType, body, { { "Cache-Control", "no-store" } });
        // counted, not logged one by one: anyone who can reach the port can send these
        m_refusals.count(404, outside ? "outside the path prefix" : "");
        return;
    }
    const QString countrySymbol = QUrlQuery(url).queryItemValue(QStringLiteral("Symbol"), QUrl::FullyDecoded);
    const FaultPlan plan = ResolveFaults(m_options.faults, countrySymbol);
    if (plan.delayMs <= 0) {
        answerQuote(countrySymbol, plan, asked, std::move(reply));
        return;
    }
    QTimer::singleShot(plan.delayMs, this, [this, reply, plan, countrySymbol, asked] {
        if (reply.alive()) // a client that left was logged when it did
            answerQuote(countrySymbol, plan, asked, reply);
    });
}

void QuoteServer::answerQuote(
    const QString& countrySymbol, const FaultPlan& plan, const Asked& asked, HttpReply reply)
{
    if (plan.mode == FaultKind::Error) {
        const int status = int(plan.value);
        deliver(reply, plan, { status, RenderErrorPage(status, HttpReason(status)), {} }, asked);
        return;
    }
    if (plan.mode == FaultKind::Empty) {
        deliver(reply, plan, { 200, QByteArray(), {} }, asked);
        return;
    }
    const qsizetype huge = plan.mode == FaultKind::Huge ? qsizetype(plan.value) : 0;
    QPointer<QuoteServer> self(this);
    m_backend->page(countrySymbol, huge, [self, reply, plan, asked](const Answer& answer) mutable {
        if (self && reply.alive())
            self->deliver(reply, plan, answer, asked);
    });
}

HttpHeaders QuoteServer::cacheHeaders(const Answer& answer, bool kept) const
{
    if (!kept)
        return { { "Cache-Control", "no-store" } };
    if (answer.stale) {
        // An old quote stands in only while every source fails: no cache should keep it as if fresh.
        return { { "Cache-Control", "no-store" }, { "Age", QByteArray::number(answer.ageSeconds) } };
    }
    std::int64_t fresh = m_options.cacheSeconds;
    if (answer.simulated) {
        // until the next minute of the simulated clock, in real seconds; a clock that stands still
        // never changes the page
        const std::int64_t left = 60 - ((now() % 60) + 60) % 60;
        if (m_options.rate > 0)
            fresh = std::min<std::int64_t>(fresh, std::int64_t(std::ceil(double(left) / m_options.rate)));
        else if (!m_options.now)
            fresh = std::min<std::int64_t>(fresh, left);
    } else {
        fresh = std::max<std::int64_t>(0, fresh - answer.ageSeconds);
    }
    QByteArray control = "max-age=" + QByteArray::number(fresh);
    // a cache may serve the page past its life while the service fails, as long as the service
    // itself would serve the quote stale
    const std::int64_t spare = std::int64_t(m_options.staleSeconds) - m_options.cacheSeconds;
    if (!answer.simulated && spare > 0)
        control += ", stale-if-error=" + QByteArray::number(spare);
    return { { "Cache-Control", control }, { "Age", QByteArray::number(answer.ageSeconds) } };
}

void QuoteServer::deliver(HttpReply& reply, const FaultPlan& plan, const Answer& answer, const Asked& asked)
{
    QByteArray note = FaultNote(plan.mode);
    if (!answer.note.isEmpty())
        note += (note.isEmpty() ? "" : " ") + answer.note;
    const QByteArray type = answer.body.isEmpty() && answer.status != 200 ? QByteArray() : kHtmlType;
    // A quote page may be kept by any cache in front of the service as long as the service would
    // keep it; a no-data or error answer by none.
    const bool quotePage = answer.status == 200 && answer.quotePage && plan.mode != FaultKind::Empty;
    HttpHeaders extra = cacheHeaders(answer, quotePage);
    if (!answer.quotePage)
        extra += ReasonHeader(answer.note);
    const bool head = asked.method == "HEAD";
    if (plan.mode != FaultKind::Stall && plan.mode != FaultKind::Close) {
        reply.send(answer.status, type, answer.body, extra);
        log(asked, answer.status, head ? 0 : answer.body.size(), note);
        return;
    }
    // Promise the whole body, send only part of it.
    const qsizetype part = plan.value > 0 ? std::min<qsizetype>(qsizetype(plan.value), answer.body.size())
                                          : answer.body.size() / 2;
    reply.sendPart(answer.status, type, answer.body, part, plan.mode == FaultKind::Close, extra);
    log(asked, answer.status, head ? 0 : part, note);
}

void QuoteServer::log(const Asked& asked, int status, qint64 bytes, const QByteArray& text) const
{
    // What a client or a provider sent may end up here: one line each, and not a novel.
    const QByteArray note = HttpLogText(text.left(400));
    writeLine(HttpLogText(asked.method) + ' ' + HttpLogText(asked.target) + ' ' + QByteArray::number(status)
        + ' ' + QByteArray::number(bytes) + " bytes "
        + QByteArray::number(asked.started.isValid() ? asked.started.elapsed() : 0) + " ms"
        + (note.isEmpty() ? "" : " ") + note);
}

void QuoteServer::writeLine(const QByteArray& text) const
{
    if (m_options.quiet)
        return;
    const QByteArray time = QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toLatin1();
    std::fprintf(stdout, "%s %s\n", time.constData(), text.constData());
    std::fflush(stdout);
}
