#include "options.h"

#include <QDateTime>
#include <QTimeZone>

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

bool ParseOptions(const QStringList& args, ServiceOptions& options, QString* error)
{
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
        if (arg == QLatin1String("--address")) {
            if (!value(options.address))
                return false;
        } else if (arg == QLatin1String("--port")) {
            if (!value(v))
                return false;
            bool ok = false;
            options.port = v.toInt(&ok);
            if (!ok || options.port < 0 || options.port > 65535) {
                *error = QStringLiteral("bad port: ") + v;
                return false;
            }
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
        "usage: kolpex-quote-service [--address A] [--port N] [--lists DIR]... [--fault F]...\n"
        "                            [--now TIME [--rate R]] [--quiet]\n"
        "       kolpex-quote-service --dump CC:SYMBOL [--at TIME] [--lists DIR]...\n"
        "  --port 0 picks a free port; the first output line names the address.\n"
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
