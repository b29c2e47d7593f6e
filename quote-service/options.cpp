#include "options.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimeZone>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct KindName {
    const char* name;
    FaultKind kind;
};

constexpr KindName kKinds[] = {
    { "delay", FaultKind::Delay },
    { "stall", FaultKind::Stall },
    { "close", FaultKind::Close },
    { "error", FaultKind::Error },
    { "empty", FaultKind::Empty },
    { "huge", FaultKind::Huge },
};

void Apply(FaultPlan& plan, const FaultRule& rule)
{
    if (rule.kind == FaultKind::Delay) {
        plan.delayMs = rule.value;
        return;
    }
    plan.mode = rule.kind;
    plan.value = rule.value;
}

} // namespace

std::optional<FaultRule> ParseFault(const QString& text, QString* error)
{
    FaultRule rule;
    QString faultText = text.trimmed();
    const qsizetype at = faultText.indexOf(QLatin1Char('@'));
    if (at >= 0) {
        rule.symbol = faultText.mid(at + 1).trimmed().toUpper();
        faultText = faultText.left(at);
        if (!rule.symbol.contains(QLatin1Char(':'))) {
            *error = QStringLiteral("fault symbol must read CC:SYMBOL: ") + text;
            return std::nullopt;
        }
    }
    const qsizetype eq = faultText.indexOf(QLatin1Char('='));
    const QString name = (eq >= 0 ? faultText.left(eq) : faultText).trimmed().toLower();
    for (const KindName& k : kKinds) {
        if (name == QLatin1String(k.name))
            rule.kind = k.kind;
    }
    if (rule.kind == FaultKind::None) {
        *error = QStringLiteral("unknown fault: ") + text;
        return std::nullopt;
    }
    if (eq >= 0) {
        bool ok = false;
        rule.value = faultText.mid(eq + 1).trimmed().toLongLong(&ok);
        if (!ok || rule.value < 0) {
            *error = QStringLiteral("bad fault value: ") + text;
            return std::nullopt;
        }
    } else if (rule.kind == FaultKind::Delay) {
        *error = QStringLiteral("delay needs milliseconds, e.g. delay=2000");
        return std::nullopt;
    }
    if (rule.kind == FaultKind::Error && rule.value == 0)
        rule.value = kDefaultErrorStatus;
    if (rule.kind == FaultKind::Error && (rule.value < 100 || rule.value > 599)) {
        *error = QStringLiteral("error status must be 100-599: ") + text;
        return std::nullopt;
    }
    if (rule.kind == FaultKind::Huge && rule.value == 0)
        rule.value = kDefaultHugeBytes;
    return rule;
}

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

FaultPlan ResolveFaults(const std::vector<FaultRule>& rules, const QString& countrySymbol)
{
    FaultPlan plan;
    for (const FaultRule& rule : rules) {
        if (rule.symbol.isEmpty())
            Apply(plan, rule);
    }
    const QString key = countrySymbol.toUpper();
    for (const FaultRule& rule : rules) {
        if (!rule.symbol.isEmpty() && rule.symbol == key)
            Apply(plan, rule);
    }
    return plan;
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

namespace {

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

QString ExpandHome(const QString& path, const QString& baseDir)
{
    if (path == QLatin1String("~") || path.startsWith(QLatin1String("~/")))
        return QDir::homePath() + path.mid(1);
    if (baseDir.isEmpty() || QDir::isAbsolutePath(path))
        return path;
    return QDir(baseDir).filePath(path);
}

bool LoadConfig(const QString& path, ServiceOptions& options, QString* error)
{
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return true; // nothing configured: the defaults
    QFile file(path);
    if (info.isDir() || !file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2")
                     .arg(path, info.isDir() ? QStringLiteral("is a directory") : file.errorString());
        return false;
    }
    constexpr qint64 kMaxConfigBytes = 64 * 1024;
    const QByteArray text = file.read(kMaxConfigBytes + 1);
    if (text.size() > kMaxConfigBytes) {
        *error = path + QStringLiteral(": too long to be a settings file");
        return false;
    }
    return ParseConfigText(text, path, info.absolutePath(), options, error);
}

} // namespace

QStringList DefaultLiveSources()
{
    return { QStringLiteral("yahoo"), QStringLiteral("finnhub"), QStringLiteral("cnbc") };
}

bool ParseConfigText(const QByteArray& text, const QString& origin, const QString& baseDir,
    ServiceOptions& options, QString* error)
{
    static const QStringList keys { QStringLiteral("source"), QStringLiteral("cache-seconds"),
        QStringLiteral("stale-seconds"), QStringLiteral("token-file"), QStringLiteral("address"),
        QStringLiteral("port"), QStringLiteral("path-prefix"), QStringLiteral("upstream") };
    const QList<QByteArray> lines = text.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString line = QString::fromUtf8(lines.at(i)).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const QString where = QStringLiteral("%1:%2: ").arg(origin).arg(i + 1);
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq < 0) {
            *error = where + QStringLiteral("expected key = value, found: ") + line;
            return false;
        }
        const QString key = line.left(eq).trimmed().toLower();
        const QString value = line.mid(eq + 1).trimmed();
        if (!keys.contains(key)) {
            *error = where + QStringLiteral("unknown key: ") + key;
            return false;
        }
        if (value.isEmpty()) {
            *error = where + key + QStringLiteral(" needs a value");
            return false;
        }
        QString message;
        if (!ApplyValued(QStringLiteral("--") + key, value, options, &message)) {
            *error = where + message;
            return false;
        }
        if (key == QLatin1String("token-file"))
            options.tokenFile = ExpandHome(value, baseDir);
    }
    return true;
}

bool ReadTokenFile(const QString& path, QString* token, QString* error)
{
    // The checks are made on what was opened, not on a name that could point elsewhere by then.
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        *error = QStringLiteral("cannot read token file %1: %2")
                     .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    struct stat st { };
    QString refusal;
    if (::fstat(fd, &st) != 0)
        refusal = QStringLiteral("cannot read token file %1: %2")
                      .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
    else if (!S_ISREG(st.st_mode))
        refusal = QStringLiteral("token file %1 is not a regular file").arg(path);
    else if (st.st_mode & (S_IRGRP | S_IROTH))
        refusal = QStringLiteral("token file %1 can be read by others; make it private with: chmod 600 %1")
                      .arg(path);
    QFile file;
    if (refusal.isEmpty() && !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        refusal = QStringLiteral("cannot read token file %1: %2").arg(path, file.errorString());
    if (!refusal.isEmpty()) {
        if (!file.isOpen())
            ::close(fd);
        *error = refusal;
        return false;
    }
    const QString first = QString::fromUtf8(file.read(4096)).section(QLatin1Char('\n'), 0, 0).trimmed();
    if (first.isEmpty()) {
        *error = QStringLiteral("token file %1 is empty").arg(path);
        return false;
    }
    *token = first;
    return true;
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
