#include "gateway/gateway.h"
#include "gateway/livefigures.h"
#include "gateway/sources/upstream.h"
#include "http/socketactivation.h"
#include "market/catalogue.h"
#include "market/dump.h"
#include "options/options.h"
#include "quoteserver.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_signalPipe[2] = { -1, -1 };

void OnSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
}

// SIGINT and SIGTERM end the event loop through a pipe, the only safe way out of a handler.
bool InstallStopSignals(QCoreApplication& app)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0)
        return false;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [&app] {
        char byte = 0;
        [[maybe_unused]] const ssize_t n = ::read(g_signalPipe[0], &byte, 1);
        app.quit();
    });
    struct sigaction action { };
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return sigaction(SIGINT, &action, nullptr) == 0 && sigaction(SIGTERM, &action, nullptr) == 0;
}

// The live sources in the order asked, and their upstream clients (what holds descriptors); null
// and a message when one cannot be set up.
std::unique_ptr<QuoteGateway> MakeGateway(const ServiceOptions& options, const SecurityCatalogue& catalogue,
    std::vector<UpstreamClient*>* clients, QString* error)
{
    QString token;
    if (options.sources.contains(QLatin1String("finnhub"))) {
        if (!options.tokenFile.isEmpty()) {
            if (!ReadTokenFile(options.tokenFile, &token, error))
                return nullptr;
        } else {
            token = qEnvironmentVariable("FINNHUB_TOKEN").trimmed();
        }
    }
    // Without a key Finnhub can only refuse, so a chain such as "yahoo,finnhub" runs without it
    // rather than not at all.
    const bool finnhubWithoutKey = options.sources.contains(QLatin1String("finnhub")) && token.isEmpty();
    if (finnhubWithoutKey)
        std::fprintf(stderr,
            "kolpex-quote-service: finnhub left out: it needs an API key (set FINNHUB_TOKEN or give "
            "--token-file)\n");
    std::vector<std::unique_ptr<QuoteSource>> sources;
    for (const QString& name : options.sources) {
        if (finnhubWithoutKey && name == QLatin1String("finnhub"))
            continue;
        SourceContext context;
        context.upstream = options.upstreams.value(name);
        if (name == QLatin1String("finnhub"))
            context.token = token;
        context.isVentureOnly
            = [&catalogue](const QByteArray& symbol) { return catalogue.isVentureOnly(symbol); };
        std::unique_ptr<QuoteSource> source = MakeQuoteSource(name, context);
        if (!source) {
            *error = QStringLiteral("source not available: ") + name;
            return nullptr;
        }
        for (QObject* child : source->findChildren<QObject*>()) {
            if (auto* client = dynamic_cast<UpstreamClient*>(child))
                clients->push_back(client);
        }
        sources.push_back(std::move(source));
    }
    if (sources.empty()) {
        *error = QStringLiteral("no live source left to ask");
        return nullptr;
    }
    GatewaySettings settings;
    settings.cacheSeconds = options.cacheSeconds;
    settings.staleSeconds = options.staleSeconds;
    auto gateway = std::make_unique<QuoteGateway>(std::move(sources), settings);
    gateway->setSecret(token);
    return gateway;
}

// Room for the connection cap and the upstream requests beside it. The soft descriptor limit is
// raised to the hard one first; when even that cannot hold both, the cap keeps a floor and the
// sources share what is left, so that accept() never runs out of descriptors and no source is left
// with none.
int FitDescriptors(int wanted, const std::vector<UpstreamClient*>& clients, QString* note)
{
    struct rlimit limit { };
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return wanted;
    if (limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
        ::getrlimit(RLIMIT_NOFILE, &limit);
    }
    constexpr rlim_t kBaseReserve = 32; // list files, the signal pipe and such
    constexpr int kCapFloor = 16;
    rlim_t upstream = 0;
    for (const UpstreamClient* client : clients)
        upstream += rlim_t(std::max(1, client->limits().maxInFlight));
    if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= kBaseReserve + rlim_t(wanted) * 2 + upstream)
        return wanted;
    const rlim_t room = limit.rlim_cur > kBaseReserve ? limit.rlim_cur - kBaseReserve : 0;
    int cap = std::max(std::min(wanted, kCapFloor), int((room - std::min(room, upstream)) / 2));
    cap = std::max(1, std::min(cap, int(room / 2)));
    int perSource = 0;
    if (!clients.empty()) {
        perSource = std::max(1, int((room - std::min(room, rlim_t(cap) * 2)) / clients.size()));
        for (UpstreamClient* client : clients) {
            UpstreamLimits limits = client->limits();
            limits.maxInFlight = std::min(limits.maxInFlight, perSource);
            client->setLimits(limits);
        }
    }
    *note = QStringLiteral("%1 descriptors: at most %2 connections").arg(limit.rlim_cur).arg(cap);
    if (perSource > 0)
        *note += QStringLiteral(" and %1 upstream requests per source").arg(perSource);
    *note += QStringLiteral(" at once");
    return cap;
}

QString HostForUrl(const QHostAddress& address)
{
    const QString text = address.toString();
    return address.protocol() == QAbstractSocket::IPv6Protocol ? QLatin1Char('[') + text + QLatin1Char(']')
                                                               : text;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ServiceOptions options;
    QString error;
    const QStringList args = app.arguments().mid(1);
    if (args.contains(QLatin1String("--help")) || args.contains(QLatin1String("-h"))) {
        std::fputs(qPrintable(UsageText()), stdout);
        return 0;
    }
    if (!ParseOptions(args, options, &error)) {
        // The usage text helps with a command line, not with a line of a settings file.
        const bool fromSettings = !options.configPath.isEmpty() && error.startsWith(options.configPath);
        std::fprintf(stderr, "kolpex-quote-service: %s\n%s", qPrintable(error),
            fromSettings ? "" : qPrintable(UsageText()));
        return 2;
    }

    // The launcher's private prefix comes this way: a command line is every user's to read.
    if (qEnvironmentVariableIsSet("KOLPEX_QUOTE_PREFIX")) {
        if (!ApplyPathPrefix(qEnvironmentVariable("KOLPEX_QUOTE_PREFIX"), options, &error)) {
            std::fprintf(stderr, "kolpex-quote-service: KOLPEX_QUOTE_PREFIX: %s\n", qPrintable(error));
            return 2;
        }
        qunsetenv("KOLPEX_QUOTE_PREFIX");
    }

    SecurityCatalogue catalogue;
    const QStringList read
        = catalogue.load(options.listDirs.isEmpty() ? DefaultListDirectories() : options.listDirs);
    catalogue.addBuiltIns();

    if (!options.dumpSymbol.isEmpty()) {
        const std::int64_t at = options.dumpAt ? *options.dumpAt
            : options.now                      ? *options.now
                                               : QDateTime::currentSecsSinceEpoch();
        std::fputs(DumpQuote(catalogue, options.dumpSymbol, at).constData(), stdout);
        std::fputc('\n', stdout);
        return 0;
    }

    std::unique_ptr<QuoteGateway> gateway;
    std::vector<UpstreamClient*> clients;
    if (options.live()) {
        gateway = MakeGateway(options, catalogue, &clients, &error);
        if (!gateway) {
            std::fprintf(stderr, "kolpex-quote-service: %s\n", qPrintable(error));
            return 2;
        }
    }
    QString descriptorNote;
    options.maxConnections = FitDescriptors(options.maxConnections, clients, &descriptorNote);
    QuoteServer server(options, catalogue, gateway.get(), &FormatLiveQuote);
    const std::optional<int> inherited = TakeInheritedSocket();
    const std::optional<std::string> local = inherited ? LocalSocketPath(*inherited) : std::nullopt;
    quint16 port = 0;
    if (local) {
        if (!server.http().adopt(*inherited)) {
            std::fprintf(stderr, "kolpex-quote-service: the inherited socket is not a listening socket\n");
            return 1;
        }
        std::fprintf(stdout, "listening on unix:%s%s\n", local->c_str(),
            options.pathPrefix.isEmpty() ? "" : " below its path prefix");
    } else {
        port = inherited ? server.adopt(*inherited) : server.listen();
        if (port == 0) {
            if (inherited)
                std::fprintf(
                    stderr, "kolpex-quote-service: the inherited socket is not a listening socket\n");
            else
                std::fprintf(stderr, "kolpex-quote-service: cannot listen on %s:%d\n",
                    qPrintable(options.address), options.port);
            return 1;
        }
        const QString host = inherited ? HostForUrl(server.address()) : options.address;
        std::fprintf(stdout, "listening on http://%s:%u%s\n", qPrintable(host), unsigned(port),
            options.pathPrefix.isEmpty() ? "" : " below its path prefix");
    }
    std::fprintf(stdout, "%lld securities from %lld list files and the built-in set\n",
        static_cast<long long>(catalogue.size()), static_cast<long long>(read.size()));
    if (gateway)
        std::fprintf(stdout, "live quotes from %s, cached %d s, stale up to %d s\n",
            qPrintable(gateway->sourceNames().join(QStringLiteral(", "))), options.cacheSeconds,
            options.staleSeconds);
    if (!descriptorNote.isEmpty())
        std::fprintf(stdout, "%s\n", qPrintable(descriptorNote));
    std::fflush(stdout);
    if (!InstallStopSignals(app))
        std::fprintf(stderr, "kolpex-quote-service: cannot catch SIGINT/SIGTERM\n");
    const int status = app.exec();
    std::fprintf(stdout, "stopped\n");
    std::fflush(stdout);
    return status;
}
