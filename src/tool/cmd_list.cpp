// kolpex-quote list MARKET [--find TEXT] [--json]
#include "markets/markettable.h"
#include "platform/textcodec.h"
#include "tool/commands.h"
#include "tool/toolquotes.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <cstdio>

namespace {

QString Text(const std::string& cp1252)
{
    return FromCp1252(cp1252);
}

void PrintEntry(const QuoteEntry& entry, bool json)
{
    QByteArray line;
    if (json) {
        // Built by hand so the fields come in the entry's own order.
        auto str = [](const std::string& cp1252) {
            const QByteArray quoted
                = QJsonDocument(QJsonArray { Text(cp1252) }).toJson(QJsonDocument::Compact);
            return quoted.mid(1, quoted.size() - 2); // ["..."] -> "..."
        };
        line = "{\"writeToFile\":" + QByteArray(entry.writeToFile ? "true" : "false")
            + ",\"easternTime\":" + QByteArray(entry.easternTime ? "true" : "false") + ",\"refreshInterval\":"
            + QByteArray::number(entry.refreshInterval) + ",\"countryCode\":" + str(entry.countryCode)
            + ",\"symbol\":" + str(entry.symbol) + ",\"companyName\":" + str(entry.companyName)
            + ",\"volume\":" + str(entry.volume) + ",\"listed\":" + str(entry.listed) + "}";
    } else {
        line = (Text(entry.companyName) + QLatin1Char('\t') + Text(entry.symbol) + QLatin1Char('\t')
            + Text(entry.volume) + QLatin1Char('\t') + Text(entry.listed))
                   .toUtf8();
    }
    std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stdout);
    std::fputc('\n', stdout);
}

} // namespace

int RunList(const QStringList& args)
{
    QString market;
    QString find;
    bool haveFind = false;
    bool json = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        if (arg == QLatin1String("--json")) {
            json = true;
        } else if (arg == QLatin1String("--find")) {
            if (i + 1 >= args.size())
                return UsageError("--find needs a text");
            find = args.at(++i);
            haveFind = true;
        } else if (arg.startsWith(QLatin1String("--"))) {
            return UsageError("unknown option for list");
        } else if (market.isEmpty()) {
            market = arg;
        } else {
            return UsageError("list takes one market");
        }
    }
    if (market.isEmpty())
        return UsageError("list needs a market");

    const std::string name = ToCp1252(market);
    const MarketInfo* info = MarketByCode(name);
    if (!info)
        info = MarketByCaption(name);
    if (!info)
        return UsageError("unknown market (use NYSE, AMEX, NASDAQ, MUTUAL, CVE, TSX or LSE)");

    ToolQuotes quotes;
    EntryArray entries;
    if (!quotes.manager.LoadMarketList(info->code, entries))
        return 1;

    if (haveFind) {
        quotes.manager.FindInList(ToCp1252(find), entries);
        entries = quotes.host.searchResults();
    }
    for (const QuoteEntry& entry : entries)
        PrintEntry(entry, json);
    return 0;
}
