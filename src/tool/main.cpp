#include "tool/commands.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstring>

int UsageError(const char* message)
{
    std::fprintf(stderr, "kolpex-quote: %s\n", message);
    std::fprintf(stderr,
                 "usage: kolpex-quote fetch CC:SYMBOL [--company NAME] [--json]\n"
                 "       kolpex-quote parse FILE [--country CC] [--symbol S] [--company NAME] [--json]\n"
                 "       kolpex-quote list MARKET [--find TEXT] [--json]\n");
    return 2;
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
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
    };
    for (const Command& c : commands) {
        if (command == QLatin1String(c.name))
            return c.run(args);
    }
    return UsageError("unknown command");
}
