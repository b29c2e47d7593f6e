#include "platform/httpget.h"
#include "platform/textcodec.h"
#include "tool/commands.h"
#include "tool/quoteoutput.h"
#include "tool/toolquotes.h"

#include <QFile>
#include <cstdio>

int RunParse(const QStringList& args)
{
    QString file;
    QString country;
    QString symbol;
    QString company;
    bool json = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        QString* value = nullptr;
        if (arg == QLatin1String("--json")) {
            json = true;
            continue;
        }
        if (arg == QLatin1String("--country"))
            value = &country;
        else if (arg == QLatin1String("--symbol"))
            value = &symbol;
        else if (arg == QLatin1String("--company"))
            value = &company;
        if (value != nullptr) {
            if (++i >= args.size())
                return UsageError("option needs a value");
            *value = args.at(i);
        } else if (arg.startsWith(QLatin1String("--")) || !file.isNull()) {
            return UsageError("unexpected argument");
        } else {
            file = arg;
        }
    }
    if (file.isEmpty())
        return UsageError("parse needs a FILE");
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "kolpex-quote: cannot read %s\n", file.toLocal8Bit().constData());
        return 2;
    }
    // A page is read no further than a download would be: /dev/zero or a pipe that never ends
    // stops there.
    const auto bound = static_cast<qint64>(HttpGetOptions {}.maxBodyBytes);
    QByteArray bytes = in.read(bound + 1);
    if (bytes.size() > bound) {
        bytes.truncate(bound);
        std::fprintf(stderr, "kolpex-quote: %s: read the first %lld bytes only\n",
            file.toLocal8Bit().constData(), static_cast<long long>(bound));
    }

    ToolQuotes quotes;
    QuoteEntry entry = quotes.defaults;
    entry.countryCode = ToCp1252(country);
    entry.symbol = ToCp1252(symbol);
    entry.companyName = ToCp1252(company);
    QuoteRecord record;
    if (!quotes.manager.ParseQuotePage(bytes.toStdString(), entry, &record))
        return 1;
    const std::string out
        = json ? QuoteAsJson(entry.companyName, record) : QuoteAsText(entry.companyName, record);
    std::fwrite(out.data(), 1, out.size(), stdout);
    return 0;
}
