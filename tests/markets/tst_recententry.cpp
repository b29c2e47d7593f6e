#include "markets/recententry.h"

#include <QTest>

class TestRecentEntry final : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void parse_data();
    void parse();
    void refused_data();
    void refused();
    void roundTripOfTheWrittenText();
    void companyHoldingASlash_data();
    void companyHoldingASlash();
};

void TestRecentEntry::parse_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("symbol");
    QTest::addColumn<QString>("company");

    QTest::newRow("plain, backslashes")
        << QStringLiteral("C:\\Data\\Acme Corp (US, ACME)") << QStringLiteral("US") << QStringLiteral("ACME")
        << QStringLiteral("Acme Corp");
    QTest::newRow("plain, slashes") << QStringLiteral("/home/u/Acme Corp (US, ACME)") << QStringLiteral("US")
                                    << QStringLiteral("ACME") << QStringLiteral("Acme Corp");
    QTest::newRow("NYSE becomes US") << QStringLiteral("C:\\Data\\Acme Corp (NYSE, ACME)")
                                     << QStringLiteral("US") << QStringLiteral("ACME")
                                     << QStringLiteral("Acme Corp");
    QTest::newRow("NASDAQ becomes US") << QStringLiteral("/d/X (NASDAQ, X)") << QStringLiteral("US")
                                       << QStringLiteral("X") << QStringLiteral("X");
    QTest::newRow("TSX becomes CA") << QStringLiteral("C:\\Data\\Acme Corp (TSX, XYZ)")
                                    << QStringLiteral("CA") << QStringLiteral("XYZ")
                                    << QStringLiteral("Acme Corp");
    QTest::newRow("CVE becomes CA") << QStringLiteral("/d/Acme (CVE, XYZ)") << QStringLiteral("CA")
                                    << QStringLiteral("XYZ") << QStringLiteral("Acme");
    QTest::newRow("LSE stays") << QStringLiteral("C:\\Data\\Acme Corp (LSE, XYZ)") << QStringLiteral("LSE")
                               << QStringLiteral("XYZ") << QStringLiteral("Acme Corp");
    QTest::newRow("lower-case code stays") << QStringLiteral("/d/Acme (nyse, XYZ)") << QStringLiteral("nyse")
                                           << QStringLiteral("XYZ") << QStringLiteral("Acme");
    QTest::newRow("company holding a parenthesis")
        << QStringLiteral("C:\\Data\\Acme (Holdings) Corp (US, ACME)") << QStringLiteral("Holdings) Corp (US")
        << QStringLiteral("ACME") << QStringLiteral("Acme");
    QTest::newRow("no comma") << QStringLiteral("C:\\Data\\Acme (US ACME)") << QString()
                              << QStringLiteral("C:\\Data\\Acme (US ACME") << QStringLiteral("Acme");
    QTest::newRow("comma before the parenthesis")
        << QStringLiteral("/d/Acme, Inc (US ACME)") << QString() << QStringLiteral("Inc (US ACME")
        << QStringLiteral("Acme, Inc");
    QTest::newRow("no directory") << QStringLiteral("Acme Corp (US, ACME)") << QStringLiteral("US")
                                  << QStringLiteral("ACME") << QStringLiteral("Acme Corp");
    QTest::newRow("code untrimmed") << QStringLiteral("/d/Acme ( US , ACME)") << QStringLiteral(" US ")
                                    << QStringLiteral("ACME") << QStringLiteral("Acme");
    QTest::newRow("empty company") << QStringLiteral("/d/ (US, MSFT)") << QStringLiteral("US")
                                   << QStringLiteral("MSFT") << QString();
    QTest::newRow("separator after the parenthesis")
        << QStringLiteral("/d/Acme (US, A/B)") << QStringLiteral("US") << QStringLiteral("A/B")
        << QStringLiteral("Acme");
    QTest::newRow("just a parenthesis") << QStringLiteral("(") << QString() << QString() << QString();
    QTest::newRow("parenthesis and comma only")
        << QStringLiteral("(,") << QString() << QString() << QString();
}

void TestRecentEntry::parse()
{
    QFETCH(QString, path);
    QFETCH(QString, code);
    QFETCH(QString, symbol);
    QFETCH(QString, company);
    const auto parts = ParseRecentEntry(path.toStdString());
    QVERIFY(parts.has_value());
    QCOMPARE(QString::fromStdString(parts->countryCode), code);
    QCOMPARE(QString::fromStdString(parts->symbol), symbol);
    QCOMPARE(QString::fromStdString(parts->companyName), company);
}

void TestRecentEntry::refused_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("empty") << QString();
    QTest::newRow("no parenthesis") << QStringLiteral("C:\\Data\\Acme Corp US, ACME");
    QTest::newRow("closing only") << QStringLiteral("/d/Acme US, ACME)");
}

void TestRecentEntry::refused()
{
    QFETCH(QString, path);
    QVERIFY(!ParseRecentEntry(path.toStdString()).has_value());
}

void TestRecentEntry::roundTripOfTheWrittenText()
{
    const std::string text = RecentListText("Caf\xE9 Holdings", "GB", "CAF");
    QCOMPARE(text, std::string("Caf\xE9 Holdings (GB, CAF)"));
    const auto parts = ParseRecentEntry("/tmp/run dir/" + text);
    QVERIFY(parts.has_value());
    QCOMPARE(parts->companyName, std::string("Caf\xE9 Holdings"));
    QCOMPARE(parts->countryCode, std::string("GB"));
    QCOMPARE(parts->symbol, std::string("CAF"));
}

void TestRecentEntry::companyHoldingASlash_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("directory");
    QTest::addColumn<QString>("company");
    QTest::newRow("under the directory")
        << QStringLiteral("/home/u/Novo Nordisk A/S ADR (US, NVO)") << QStringLiteral("/home/u")
        << QStringLiteral("Novo Nordisk A/S ADR");
    QTest::newRow("backslash after the directory")
        << QStringLiteral("C:\\Data\\Ascendis Pharma A/S ADR (US, ASND)") << QStringLiteral("C:\\Data")
        << QStringLiteral("Ascendis Pharma A/S ADR");
    QTest::newRow("another directory: last separator")
        << QStringLiteral("/elsewhere/Novo Nordisk A/S ADR (US, NVO)") << QStringLiteral("/home/u")
        << QStringLiteral("S ADR");
    QTest::newRow("directory only a prefix of a name")
        << QStringLiteral("/home/user/Acme (US, A)") << QStringLiteral("/home/u") << QStringLiteral("Acme");
    QTest::newRow("no directory given")
        << QStringLiteral("/home/u/Novo Nordisk A/S ADR (US, NVO)") << QString() << QStringLiteral("S ADR");
}

void TestRecentEntry::companyHoldingASlash()
{
    QFETCH(QString, path);
    QFETCH(QString, directory);
    QFETCH(QString, company);
    const auto parts = ParseRecentEntry(path.toStdString(), directory.toStdString());
    QVERIFY(parts.has_value());
    QCOMPARE(QString::fromStdString(parts->companyName), company);
}

QTEST_GUILESS_MAIN(TestRecentEntry)
#include "tst_recententry.moc"
