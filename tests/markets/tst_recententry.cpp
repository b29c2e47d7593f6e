#include "markets/recententry.h"
#include "quote/quoteentry.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <set>

namespace {

bool NoDirectories(const std::string&)
{
    return false;
}

} // namespace

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
    void reopenedFromAnotherDirectory();
    void currentForm_data();
    void currentForm();
    void overlongCompanyCut();
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
        << QStringLiteral("C:\\Data\\Acme (Holdings) Corp (US, ACME)") << QStringLiteral("US")
        << QStringLiteral("ACME") << QStringLiteral("Acme (Holdings) Corp");
    QTest::newRow("simulated company") << QStringLiteral("/d/L'Oreal SA (simulated) (FR, OR)")
                                       << QStringLiteral("FR") << QStringLiteral("OR")
                                       << QStringLiteral("L'Oreal SA (simulated)");
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
    const auto parts = ParseRecentEntry(path.toStdString(), NoDirectories);
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
    QVERIFY(!ParseRecentEntry(path.toStdString(), NoDirectories).has_value());
}

void TestRecentEntry::roundTripOfTheWrittenText()
{
    const std::string text = RecentListText("Caf\xE9 Holdings", "GB", "CAF");
    QCOMPARE(text, std::string("Caf\xE9 Holdings (GB, CAF)"));
    const auto parts = ParseRecentEntry("/tmp/run dir/" + text, NoDirectories);
    QVERIFY(parts.has_value());
    QCOMPARE(parts->companyName, std::string("Caf\xE9 Holdings"));
    QCOMPARE(parts->countryCode, std::string("GB"));
    QCOMPARE(parts->symbol, std::string("CAF"));
}

void TestRecentEntry::companyHoldingASlash_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QStringList>("directories"); // what exists on disk
    QTest::addColumn<QString>("company");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("symbol");
    const QStringList home { QStringLiteral("/"), QStringLiteral("/home"), QStringLiteral("/home/u") };
    QTest::newRow("stored in an existing directory")
        << QStringLiteral("/home/u/Novo Nordisk A/S ADR (US, NVO)") << home
        << QStringLiteral("Novo Nordisk A/S ADR") << QStringLiteral("US") << QStringLiteral("NVO");
    QTest::newRow("stored in the root directory")
        << QStringLiteral("/Novo Nordisk A/S ADR (US, NVO)") << home << QStringLiteral("Novo Nordisk A/S ADR")
        << QStringLiteral("US") << QStringLiteral("NVO");
    QTest::newRow("Windows path, directory not here")
        << QStringLiteral("C:\\Data\\Ascendis Pharma A/S ADR (US, ASND)") << home
        << QStringLiteral("Ascendis Pharma A/S ADR") << QStringLiteral("US") << QStringLiteral("ASND");
    QTest::newRow("directory holding a parenthesis")
        << QStringLiteral("/home/u/run (2)/Acme (NYSE, ACME)")
        << home + QStringList { QStringLiteral("/home/u/run (2)") } << QStringLiteral("Acme")
        << QStringLiteral("US") << QStringLiteral("ACME");
    QTest::newRow("directory holding a slash-parted name")
        << QStringLiteral("/srv/A/S data/Ascendis Pharma A/S ADR (US, ASND)")
        << QStringList { QStringLiteral("/"), QStringLiteral("/srv"), QStringLiteral("/srv/A"),
               QStringLiteral("/srv/A/S data") }
        << QStringLiteral("Ascendis Pharma A/S ADR") << QStringLiteral("US") << QStringLiteral("ASND");
    QTest::newRow("company holding a parenthesis and a slash")
        << QStringLiteral("/home/u/Foo (A/S) (US, FOO)") << home << QStringLiteral("Foo (A/S)")
        << QStringLiteral("US") << QStringLiteral("FOO");
    QTest::newRow("symbol holding a slash")
        << QStringLiteral("/home/u/Acme (US, A/B)") << home << QStringLiteral("Acme") << QStringLiteral("US")
        << QStringLiteral("A/B");
    QTest::newRow("stored by this release, directory gone")
        << QStringLiteral("/home/olduser/.local/share/kolpex/./Microsoft Corp (US, MSFT)") << home
        << QStringLiteral("Microsoft Corp") << QStringLiteral("US") << QStringLiteral("MSFT");
    QTest::newRow("stored by this release, directory gone, company holding a slash")
        << QStringLiteral("/home/olduser/data/./Novo Nordisk A/S ADR (US, NVO)") << home
        << QStringLiteral("Novo Nordisk A/S ADR") << QStringLiteral("US") << QStringLiteral("NVO");
    QTest::newRow("stored by this release, directory holding a parenthesis")
        << QStringLiteral("/home/u/run (2)/./Foo (A/S) (NYSE, FOO)") << home << QStringLiteral("Foo (A/S)")
        << QStringLiteral("US") << QStringLiteral("FOO");
    QTest::newRow("stored by this release in the root directory")
        << QStringLiteral("/./Acme (US, ACME)") << home << QStringLiteral("Acme") << QStringLiteral("US")
        << QStringLiteral("ACME");
    QTest::newRow("earlier release, directory gone: the longest one still here ends it")
        << QStringLiteral("/home/olduser/.local/Microsoft Corp (US, MSFT)") << home
        << QStringLiteral("olduser/.local/Microsoft Corp") << QStringLiteral("US") << QStringLiteral("MSFT");
    QTest::newRow("no directory of it here: the last slash before the parenthesis")
        << QStringLiteral("gone/away/Acme Corp (US, ACME)") << home << QStringLiteral("Acme Corp")
        << QStringLiteral("US") << QStringLiteral("ACME");
}

// Where the stored directory ends depends on the entry and the disk, never on the directory the
// program runs in now.
void TestRecentEntry::companyHoldingASlash()
{
    QFETCH(QString, path);
    QFETCH(QStringList, directories);
    std::set<std::string> existing;
    for (const QString& d : directories)
        existing.insert(d.toStdString());
    const auto parts = ParseRecentEntry(
        path.toStdString(), [&](const std::string& dir) { return existing.count(dir) > 0; });
    QVERIFY(parts.has_value());
    QTEST(QString::fromStdString(parts->companyName), "company");
    QTEST(QString::fromStdString(parts->countryCode), "code");
    QTEST(QString::fromStdString(parts->symbol), "symbol");
}

void TestRecentEntry::reopenedFromAnotherDirectory()
{
    QTemporaryDir stored;
    QTemporaryDir elsewhere;
    QVERIFY(stored.isValid() && elsewhere.isValid());
    const QString dir = stored.filePath(QStringLiteral("quotes (old)"));
    QVERIFY(QDir().mkpath(dir));
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(elsewhere.path()));
    const std::string entry = QFile::encodeName(dir).toStdString() + "/"
        + RecentListText("Ascendis Pharma A/S ADR", "US", "ASND");
    const auto parts = ParseRecentEntry(entry);
    QDir::setCurrent(previous);
    QVERIFY(parts.has_value());
    QCOMPARE(parts->companyName, std::string("Ascendis Pharma A/S ADR"));
    QCOMPARE(parts->countryCode, std::string("US"));
    QCOMPARE(parts->symbol, std::string("ASND"));
    QCOMPARE(RecentEntryTextStart(entry), QFile::encodeName(dir).size() + std::size_t(1));
}

void TestRecentEntry::currentForm_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");
    QTest::newRow("earlier release, company holding a slash")
        << QStringLiteral("/home/u/Novo Nordisk A/S ADR (US, NVO)")
        << QStringLiteral("/home/u/./Novo Nordisk A/S ADR (US, NVO)");
    QTest::newRow("already in this form")
        << QStringLiteral("/home/u/./Acme (US, A)") << QStringLiteral("/home/u/./Acme (US, A)");
    QTest::newRow("no directory") << QStringLiteral("Acme (US, A)") << QStringLiteral("Acme (US, A)");
    QTest::newRow("no parenthesis") << QStringLiteral("/home/u/Acme") << QStringLiteral("/home/u/Acme");
}

// An earlier release's entry in the form this one stores, read back the same.
void TestRecentEntry::currentForm()
{
    QFETCH(QString, path);
    const std::set<std::string> existing { "/", "/home", "/home/u" };
    const auto exists = [&](const std::string& dir) { return existing.count(dir) > 0; };
    const std::string converted = RecentEntryInCurrentForm(path.toStdString(), exists);
    QTEST(QString::fromStdString(converted), "expected");
    const auto before = ParseRecentEntry(path.toStdString(), exists);
    const auto after = ParseRecentEntry(converted, NoDirectories);
    QCOMPARE(before.has_value(), after.has_value());
    if (before) {
        QCOMPARE(after->companyName, before->companyName);
        QCOMPARE(after->symbol, before->symbol);
        QCOMPARE(after->countryCode, before->countryCode);
    }
}

void TestRecentEntry::overlongCompanyCut()
{
    const std::string company(2 * 1024 * 1024, 'N');
    const auto parts = ParseRecentEntry("/d/" + RecentListText(company, "US", "N"), NoDirectories);
    QVERIFY(parts.has_value());
    QCOMPARE(parts->companyName, company.substr(0, kMaxCompanyNameLength));
    QCOMPARE(parts->symbol, std::string("N"));
}

QTEST_GUILESS_MAIN(TestRecentEntry)
#include "tst_recententry.moc"
