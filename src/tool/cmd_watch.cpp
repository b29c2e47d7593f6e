#include "alerts/alertfile.h"
#include "alerts/pricealert.h"
#include "platform/desktopnotifications.h"
#include "platform/exitsignals.h"
#include "platform/textcodec.h"
#include "quotewin/numbertext.h"
#include "tool/commands.h"
#include "tool/toolquotes.h"

#include <QCoreApplication>
#include <QTimer>
#include <cstdio>

namespace {

struct WatchOptions {
    QString security;
    std::vector<PriceAlert> alerts;
    int everySeconds = 300; // the quote window's five minutes
};

// Null with the usage error's status when the arguments are not a watch.
std::optional<int> ParseWatch(const QStringList& args, WatchOptions& options)
{
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        const std::pair<const char*, AlertKind> kinds[] = { { "--above", AlertKind::Above },
            { "--below", AlertKind::Below }, { "--move", AlertKind::Move } };
        bool known = false;
        for (const auto& [flag, kind] : kinds) {
            if (arg != QLatin1String(flag))
                continue;
            known = true;
            bool ok = false;
            const double level = ++i < args.size() ? args.at(i).toDouble(&ok) : 0;
            if (!ok || !(level > 0))
                return UsageError("--above, --below and --move need a number above 0");
            options.alerts.push_back(PriceAlert { kind, level });
        }
        if (known)
            continue;
        if (arg == QLatin1String("--every")) {
            bool ok = false;
            options.everySeconds = ++i < args.size() ? args.at(i).toInt(&ok) : 0;
            if (!ok || options.everySeconds < 1 || options.everySeconds > 86'400)
                return UsageError("--every needs a number of seconds from 1 to 86400");
        } else if (arg.startsWith(QLatin1String("--")) || !options.security.isNull()) {
            return UsageError("unexpected argument");
        } else {
            options.security = arg;
        }
    }
    const qsizetype colon = options.security.indexOf(QLatin1Char(':'));
    if (colon <= 0 || colon == options.security.size() - 1)
        return UsageError("watch needs CC:SYMBOL");
    return std::nullopt;
}

} // namespace

int RunWatch(const QStringList& args)
{
    WatchOptions options;
    if (const auto usage = ParseWatch(args, options))
        return *usage;
    const std::string security = ToCp1252(options.security);
    if (options.alerts.empty()) {
        // None on the command line: the ones set in the program's window for this security.
        AlertFile file;
        file.Load();
        options.alerts = file.AlertsFor(security);
        if (options.alerts.empty())
            return UsageError("no --above, --below or --move, and no alert for it in the alerts file");
    }

    ToolQuotes quotes;
    QuoteEntry entry = quotes.defaults;
    const auto colon = security.find(':');
    entry.countryCode = security.substr(0, colon);
    entry.symbol = security.substr(colon + 1);

    AlertWatch watch;
    watch.SetAlerts(options.alerts);
    DesktopNotifications desktop;
    desktop.setOpenAction(false); // no window to open from a terminal
    bool toldUnavailable = false;
    QObject::connect(
        &desktop, &DesktopNotifications::unavailable, &desktop, [&](quint64, const QString& why) {
            if (!std::exchange(toldUnavailable, true))
                std::fprintf(stderr,
                    "kolpex-quote: no desktop notifications (%s); crossings are printed only\n",
                    qPrintable(why));
        });

    auto check = [&] {
        QuoteRecord quote;
        if (!quotes.manager.FetchQuote(&entry, &quote))
            return; // a failed quote says nothing about the line
        for (const PriceAlert& alert : watch.OnQuote(quote)) {
            const AlertNotice notice = NoticeFor(entry, quote, alert);
            const std::string line = WatchLine(quote, notice) + '\n';
            std::fwrite(line.data(), 1, line.size(), stdout);
            std::fflush(stdout);
            desktop.notify(FromCp1252(notice.summary), FromCp1252(notice.body));
        }
    };

    // Ctrl+C, or the session's end, is how a watch stops: a normal end.
    ExitSignals signals;
    QObject::connect(&signals, &ExitSignals::received, QCoreApplication::instance(), &QCoreApplication::quit);
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, &timer, check);
    timer.start(options.everySeconds * 1000);
    QTimer::singleShot(0, &timer, check);
    QCoreApplication::exec();
    return 0;
}
