#include "market/catalogue.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

namespace {

constexpr ListFileInfo kListFiles[] = {
    { "NYSE", "US", "New York Stock Exchange", SecurityKind::Stock },
    { "AMEX", "US", "American Stock Exchange", SecurityKind::Stock },
    { "NASDAQ", "US", "NASDAQ", SecurityKind::Stock },
    { "MUTUAL", "US", "Mutual Fund", SecurityKind::Fund },
    { "CVE", "CA", "TSX Venture Exchange", SecurityKind::Venture },
    { "TSX", "CA", "Toronto Stock Exchange", SecurityKind::Stock },
    { "LSE", "GB", "London Stock Exchange", SecurityKind::Stock },
};

constexpr qsizetype kRecordLength = 63;
constexpr qsizetype kMaxListBytes = 1'000'000;

QByteArray Field(const QByteArray& line, qsizetype from, qsizetype width)
{
    return line.mid(from, width).trimmed();
}

QByteArray Key(const QByteArray& country, const QByteArray& symbol)
{
    return country.toUpper() + ':' + symbol.toUpper();
}

} // namespace

const ListFileInfo* ListFiles(int* count)
{
    *count = int(std::size(kListFiles));
    return kListFiles;
}

QList<Security> ParseListFile(const QByteArray& bytes, const ListFileInfo& info)
{
    QList<Security> result;
    QByteArray text = bytes.left(kMaxListBytes);
    const qsizetype zero = text.indexOf('\0');
    if (zero >= 0)
        text.truncate(zero);
    qsizetype start = 0;
    while (true) {
        const qsizetype end = text.indexOf('\n', start);
        if (end < 0)
            break; // text after the last line feed is not a line
        if (end - start == kRecordLength) {
            const QByteArray line = text.mid(start, kRecordLength);
            Security s;
            s.country = info.country;
            s.name = Field(line, 0, 40);
            s.symbol = Field(line, 41, 7);
            s.symbol.replace('%', QByteArray()).replace('&', QByteArray()).replace('!', QByteArray());
            s.exchangeName = info.exchangeName;
            s.kind = info.kind;
            if (!s.symbol.isEmpty())
                result.append(s);
        }
        start = end + 1;
    }
    return result;
}

QStringList SecurityCatalogue::load(const QStringList& directories)
{
    QStringList read;
    for (const ListFileInfo& info : kListFiles) {
        const QString fileName = QLatin1String(info.code) + QStringLiteral(".TXT");
        for (const QString& dir : directories) {
            QFile file(QDir(dir).filePath(fileName));
            if (!file.open(QIODevice::ReadOnly))
                continue;
            for (const Security& s : ParseListFile(file.read(kMaxListBytes), info)) {
                if (s.country == "CA" && s.kind == SecurityKind::Stock)
                    m_canadianStocks.insert(s.symbol.toUpper());
                add(s);
            }
            read.append(file.fileName());
            break;
        }
    }
    return read;
}

void SecurityCatalogue::add(const Security& security)
{
    const QByteArray key = Key(security.country, security.symbol);
    if (!m_securities.contains(key))
        m_securities.insert(key, security);
}

const Security* SecurityCatalogue::find(const QString& countrySymbol) const
{
    const auto it = m_securities.constFind(countrySymbol.toLatin1().toUpper());
    return it == m_securities.cend() ? nullptr : &it.value();
}

bool SecurityCatalogue::isVentureOnly(const QByteArray& symbol) const
{
    const Security* s = find(QStringLiteral("CA:") + QString::fromLatin1(symbol));
    return s && s->kind == SecurityKind::Venture && !m_canadianStocks.contains(symbol.toUpper());
}

QStringList DefaultListDirectories()
{
    return {
        QStringLiteral(KOLPEX_BUILD_LISTS_DIR),
        QStringLiteral(KOLPEX_INSTALLED_LISTS_DIR),
        QCoreApplication::applicationDirPath() + QStringLiteral("/../share/kolpex/lists"),
    };
}
