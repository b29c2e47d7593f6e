#include "catalogue.h"
#include "dump.h"
#include "options.h"
#include "quoteserver.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
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
        std::fprintf(stderr, "kolpex-quote-service: %s\n%s", qPrintable(error), qPrintable(UsageText()));
        return 2;
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

    QuoteServer server(options, catalogue);
    const quint16 port = server.listen();
    if (port == 0) {
        std::fprintf(stderr, "kolpex-quote-service: cannot listen on %s:%d\n", qPrintable(options.address),
            options.port);
        return 1;
    }
    std::fprintf(stdout, "listening on http://%s:%u\n", qPrintable(options.address), unsigned(port));
    std::fprintf(stdout, "%lld securities from %lld list files and the built-in set\n",
        static_cast<long long>(catalogue.size()), static_cast<long long>(read.size()));
    std::fflush(stdout);
    if (!InstallStopSignals(app))
        std::fprintf(stderr, "kolpex-quote-service: cannot catch SIGINT/SIGTERM\n");
    const int status = app.exec();
    std::fprintf(stdout, "stopped\n");
    std::fflush(stdout);
    return status;
}
