#include "options/optionreaders.h"

#include <QDateTime>
#include <QTimeZone>

std::optional<std::int64_t> ParseMoment(const QString& text)
{
    bool isNumber = false;
    const qint64 seconds = text.toLongLong(&isNumber);
    if (isNumber)
        return seconds;
    QDateTime moment = QDateTime::fromString(text, Qt::ISODate);
    if (!moment.isValid())
        return std::nullopt;
    if (moment.timeSpec() == Qt::LocalTime) // no offset given: read it as UTC
        moment = QDateTime(moment.date(), moment.time(), QTimeZone::utc());
    return moment.toSecsSinceEpoch();
}

namespace {

const QStringList kLiveSources { QStringLiteral("yahoo"), QStringLiteral("finnhub"), QStringLiteral("cnbc") };

bool ParseSources(const QString& text, ServiceOptions& options, QString* error)
{
    QStringList names;
    for (const QString& part : text.split(QLatin1Char(','))) {
        const QString name = part.trimmed().toLower();
        if (name.isEmpty())
            continue;
        if (name != QLatin1String("simulated") && name != QLatin1String("live")
            && !kLiveSources.contains(name)) {
            *error = QStringLiteral("unknown source: ") + part.trimmed();
            return false;
        }
        for (const QString& one :
            name == QLatin1String("live") ? DefaultLiveSources() : QStringList { name }) {
            if (!names.contains(one))
                names << one;
        }
    }
    if (names.isEmpty() || (names.contains(QLatin1String("simulated")) && names.size() > 1)) {
        *error = QStringLiteral("--source takes simulated, live, or a comma-separated list of yahoo, finnhub "
                                "and cnbc: ")
            + text;
        return false;
    }
    options.sources = names;
    return true;
}

bool ParseSeconds(const QString& name, const QString& text, int& out, QString* error)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (!ok || value < 0 || value > 7 * 24 * 3600) {
        *error = QStringLiteral("bad %1: %2").arg(name, text);
        return false;
    }
    out = value;
    return true;
}

bool ParseCount(const QString& name, const QString& text, int min, int max, int& out, QString* error)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (!ok || value < min || value > max) {
        *error = QStringLiteral("bad %1: %2").arg(name, text);
        return false;
    }
    out = value;
    return true;
}

bool ParseUpstream(const QString& v, ServiceOptions& options, QString* error)
{
    const qsizetype eq = v.indexOf(QLatin1Char('='));
    const QString name = v.left(eq).trimmed().toLower();
    const QUrl url(v.mid(eq + 1).trimmed(), QUrl::StrictMode);
    if (eq < 0 || !kLiveSources.contains(name)) {
        *error = QStringLiteral("--upstream takes yahoo=URL, finnhub=URL or cnbc=URL: ") + v;
        return false;
    }
    if (!url.isValid() || url.host().isEmpty()
        || (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https"))) {
        *error = QStringLiteral("bad upstream URL: ") + v.mid(eq + 1);
        return false;
    }
    options.upstreams.insert(name, url);
    return true;
}

} // namespace

bool ApplyPathPrefix(const QString& v, ServiceOptions& options, QString* error)
{
    QString prefix = v.trimmed();
    while (prefix.startsWith(QLatin1Char('/')))
        prefix.remove(0, 1);
    while (prefix.endsWith(QLatin1Char('/')))
        prefix.chop(1);
    for (const QChar c : prefix) {
        if (c.unicode() > 0x7e || !(c.isLetterOrNumber() || QStringLiteral("-._~").contains(c))) {
            *error = QStringLiteral("a path prefix takes letters, digits and - . _ ~ only");
            return false;
        }
    }
    options.pathPrefix = prefix;
    return true;
}

// One option with its value, from the command line or a settings file.
bool ApplyValued(const QString& arg, const QString& v, ServiceOptions& options, QString* error)
{
    if (arg == QLatin1String("--address")) {
        options.address = v.trimmed();
    } else if (arg == QLatin1String("--port")) {
        return ParseCount(QStringLiteral("port"), v, 0, 65535, options.port, error);
    } else if (arg == QLatin1String("--source")) {
        return ParseSources(v, options, error);
    } else if (arg == QLatin1String("--cache-seconds")) {
        return ParseSeconds(QStringLiteral("cache seconds"), v, options.cacheSeconds, error);
    } else if (arg == QLatin1String("--stale-seconds")) {
        return ParseSeconds(QStringLiteral("stale seconds"), v, options.staleSeconds, error);
    } else if (arg == QLatin1String("--token-file")) {
        options.tokenFile = v.trimmed();
    } else if (arg == QLatin1String("--upstream")) {
        return ParseUpstream(v, options, error);
    } else if (arg == QLatin1String("--path-prefix")) {
        return ApplyPathPrefix(v, options, error);
    } else {
        *error = QStringLiteral("unknown option: ") + arg;
        return false;
    }
    return true;
}

QStringList DefaultLiveSources()
{
    return { QStringLiteral("yahoo"), QStringLiteral("finnhub"), QStringLiteral("cnbc") };
}

bool ParseOptions(const QStringList& args, ServiceOptions& options, QString* error)
{
    // The settings file first, wherever --config stands, so that every other option overrides it.
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args.at(i) != QLatin1String("--config"))
            continue;
        if (i + 1 >= args.size()) {
            *error = QStringLiteral("--config needs a value");
            return false;
        }
        options.configPath = args.at(i + 1);
    }
    if (!options.configPath.isEmpty() && !LoadConfig(options.configPath, options, error))
        return false;

    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        auto value = [&](QString& out) {
            if (i + 1 >= args.size()) {
                *error = arg + QStringLiteral(" needs a value");
                return false;
            }
            out = args.at(++i);
            return true;
        };
        QString v;
        if (arg == QLatin1String("--address") || arg == QLatin1String("--port")
            || arg == QLatin1String("--source") || arg == QLatin1String("--cache-seconds")
            || arg == QLatin1String("--stale-seconds") || arg == QLatin1String("--token-file")
            || arg == QLatin1String("--upstream") || arg == QLatin1String("--path-prefix")) {
            if (!value(v) || !ApplyValued(arg, v, options, error))
                return false;
        } else if (arg == QLatin1String("--config")) {
            ++i; // read above
        } else if (arg == QLatin1String("--idle-ms")) {
            if (!value(v)
                || !ParseCount(QStringLiteral("idle time"), v, 10, 3'600'000, options.idleMs, error))
                return false;
        } else if (arg == QLatin1String("--max-connections")) {
            if (!value(v)
                || !ParseCount(
                    QStringLiteral("connection cap"), v, 1, 100'000, options.maxConnections, error))
                return false;
        } else if (arg == QLatin1String("--lists")) {
            if (!value(v))
                return false;
            options.listDirs.append(v);
        } else if (arg == QLatin1String("--fault")) {
            if (!value(v))
                return false;
            const std::optional<FaultRule> rule = ParseFault(v, error);
            if (!rule)
                return false;
            options.faults.push_back(*rule);
        } else if (arg == QLatin1String("--now") || arg == QLatin1String("--at")) {
            if (!value(v))
                return false;
            const std::optional<std::int64_t> moment = ParseMoment(v);
            if (!moment) {
                *error = QStringLiteral("bad time: ") + v;
                return false;
            }
            (arg == QLatin1String("--now") ? options.now : options.dumpAt) = *moment;
        } else if (arg == QLatin1String("--rate")) {
            if (!value(v))
                return false;
            bool ok = false;
            options.rate = v.toDouble(&ok);
            if (!ok || !(options.rate > 0) || options.rate > 1e6) {
                *error = QStringLiteral("bad rate: ") + v;
                return false;
            }
        } else if (arg == QLatin1String("--dump")) {
            if (!value(options.dumpSymbol))
                return false;
        } else if (arg == QLatin1String("--quiet")) {
            options.quiet = true;
        } else {
            *error = QStringLiteral("unknown option: ") + arg;
            return false;
        }
    }
    return true;
}

QString UsageText()
{
    return QStringLiteral(
        "usage: kolpex-quote-service [--config FILE] [--address A] [--port N] [--lists DIR]...\n"
        "                            [--source LIST] [--upstream NAME=URL]... [--token-file FILE]\n"
        "                            [--cache-seconds N] [--stale-seconds N] [--max-connections N]\n"
        "                            [--path-prefix P] [--fault F]... [--now TIME [--rate R]] [--quiet]\n"
        "       kolpex-quote-service --dump CC:SYMBOL [--at TIME] [--lists DIR]...\n"
        "  --port 0 picks a free port; the first output line names the address. Started by systemd\n"
        "  with a listening socket, it serves on that socket instead.\n"
        "  --source LIST      live sources asked in order, comma-separated: yahoo, finnhub, cnbc;\n"
        "                     live (the default) is yahoo,finnhub,cnbc, finnhub only with a key;\n"
        "                     simulated is a simulated market with invented figures, no network\n"
        "  --upstream NAME=URL  send every request of source NAME to URL instead of its own hosts\n"
        "  --token-file FILE  the Finnhub API key (or set FINNHUB_TOKEN); only its owner may read it\n"
        "  --cache-seconds N  ask a provider about a symbol at most once in N seconds (default 60)\n"
        "  --stale-seconds N  when every source fails, serve a quote up to N seconds old (default 900)\n"
        "  --max-connections N  open connections at most (default 256); more clients wait their turn,\n"
        "                     and a connection is closed after 30 s without a word\n"
        "  --path-prefix P    answer only below /P/ (every other path gets 404); KOLPEX_QUOTE_PREFIX\n"
        "                     sets it out of sight of other users, and overrides both\n"
        "  --config FILE      key = value lines (source, cache-seconds, stale-seconds, token-file,\n"
        "                     address, port, path-prefix, upstream; # starts a comment); a missing\n"
        "                     file is no error, and the command line overrides it\n"
        "  F is KIND[=VALUE][@CC:SYMBOL], KIND one of:\n"
        "    delay=MS       answer after MS milliseconds (combines with one of the others)\n"
        "    stall[=BYTES]  send the headers and BYTES of the body (default half), then nothing\n"
        "    close[=BYTES]  send the headers and BYTES of the body (default half), then close\n"
        "    error[=STATUS] answer with STATUS (default 503) and an error page\n"
        "    empty          answer 200 with an empty body\n"
        "    huge[=BYTES]   answer with a body of BYTES (default 20 MiB)\n"
        "  --now TIME     the market's clock stands at TIME instead of the machine's time\n"
        "  --rate R       the clock runs R times as fast from TIME (or from the start):\n"
        "                 --now 2026-12-07T10:00:00-05:00 --rate 60 moves a minute each second\n"
        "  TIME is ISO 8601 (UTC unless it has an offset) or seconds since 1970.\n");
}
