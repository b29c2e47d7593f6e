#include "tool/commands.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <cstdio>
#include <cstring>
#include <memory>

int UsageError(const char* message)
{
    std::fprintf(stderr, "kolpex-quote: %s\n", message);
    std::fprintf(stderr,
        "usage: kolpex-quote fetch CC:SYMBOL [--company NAME] [--json]\n"
        "       kolpex-quote parse FILE [--country CC] [--symbol S] [--company NAME] [--json]\n"
        "       kolpex-quote list MARKET [--find TEXT] [--json]\n"
        "       kolpex-quote chart DATAFILE --png OUT [--pdf OUT] [--size WxH]\n"
        "       kolpex-quote watch CC:SYMBOL [--above X] [--below Y] [--move P] [--every SECONDS]\n");
    return 2;
}

int main(int argc, char** argv)
{
    // Drawing a chart needs fonts, so that command runs a GUI application, offscreen unless a
    // display was asked for.
    const bool drawing = argc > 1 && std::strcmp(argv[1], "chart") == 0;
    if (drawing && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    std::unique_ptr<QCoreApplication> app;
    if (drawing)
        app = std::make_unique<QGuiApplication>(argc, argv);
    else
        app = std::make_unique<QCoreApplication>(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(1);
    if (args.isEmpty())
        return UsageError("no command");
    const QString command = args.takeFirst();
    struct Command {
        const char* name;
        int (*run)(const QStringList&);
    };
    static const Command commands[] = {
        { "fetch", RunFetch },
        { "parse", RunParse },
        { "list", RunList },
        { "chart", RunChart },
        { "watch", RunWatch },
    };
    for (const Command& c : commands) {
        if (command == QLatin1String(c.name))
            return c.run(args);
    }
    return UsageError("unknown command");
}
