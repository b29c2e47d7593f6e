#include "platform/textcodec.h"
#include "tool/commands.h"
#include "tool/quoteoutput.h"
#include "tool/toolquotes.h"

#include <cstdio>

namespace {

// The reason comes from whatever answers at KOLPEX_QUOTE_SERVICE: none of its bytes may reach the
// terminal as a control sequence.
std::string Printable(const std::string& text)
{
    std::string out;
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F)) {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", unsigned(c));
            out += escaped;
        } else {
            out += ch;
        }
    }
    return out;
}

} // namespace

int RunFetch(const QStringList& args)
{
    QString security;
    QString company;
    bool json = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        if (arg == QLatin1String("--json")) {
            json = true;
        } else if (arg == QLatin1String("--company")) {
            if (++i >= args.size())
                return UsageError("--company needs a name");
            company = args.at(i);
        } else if (arg.startsWith(QLatin1String("--")) || !security.isNull()) {
            return UsageError("unexpected argument");
        } else {
            security = arg;
        }
    }
    const qsizetype colon = security.indexOf(QLatin1Char(':'));
    if (colon <= 0 || colon == security.size() - 1)
        return UsageError("fetch needs CC:SYMBOL");

    ToolQuotes quotes;
    QuoteEntry entry = quotes.defaults;
    entry.countryCode = ToCp1252(security.left(colon));
    entry.symbol = ToCp1252(security.mid(colon + 1));
    entry.companyName = ToCp1252(company);
    QuoteRecord record;
    if (!quotes.manager.FetchQuote(&entry, &record)) {
        if (!quotes.reader.lastReason().empty())
            std::fprintf(stderr, "kolpex-quote: the quote service says: %s\n",
                Printable(quotes.reader.lastReason()).c_str());
        return 1;
    }
    const std::string out
        = json ? QuoteAsJson(entry.companyName, record) : QuoteAsText(entry.companyName, record);
    std::fwrite(out.data(), 1, out.size(), stdout);
    return 0;
}
