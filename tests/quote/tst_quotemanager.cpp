#include "platform/clock.h"
#include "platform/notifier.h"
#include "quote/nullwindowhost.h"
#include "quote/pagereader.h"
#include "quote/quotemanager.h"
#include "support/scriptedhttpserver.h"

#include <QFile>
#include <QTest>
#include <ctime>

namespace {

QByteArray Page(const char* name)
{
    QFile file(QStringLiteral(KOLPEX_TEST_DATA "/pages/") + QLatin1String(name));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing test page %s", name);
    return file.readAll();
}

// 2026-03-14 14:00 UTC: 10:00 in New York.
constexpr std::int64_t kNow = 1773496800;

QuoteRecord Sentinel()
{
    QuoteRecord r;
    r.last = 42;
    r.change = "untouched";
    r.quoteTime = 7;
    return r;
}

const std::string kNoInternet = "No Internet connection found.";

} // namespace

class TestQuoteManager final : public QObject {
    Q_OBJECT

public:
    TestQuoteManager()
        : m_reader(m_notifier)
        , m_manager(m_default, m_reader, m_host, m_notifier)
    {
    }

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanupTestCase();
    void fullPage();
    void savedPages_data();
    void savedPages();
    void failingPages_data();
    void failingPages();
    void companyNameLearntAndKept_data();
    void companyNameLearntAndKept();
    void editedPages_data();
    void editedPages();
    void timeOnlyPageIsTodayAtThatTime();
    void fetchChunkedPageOverHttp();
    void fetchEncodesTheSymbol();
    void fetchZeroByteBody();
    void serviceReasonIsTheDetail();
    void fetchUnreachable_data();
    void fetchUnreachable();
    void fetchErrorStatusWithBody();
    void nestedCallRefusedWhileMessageShows();
    void nullEntryRefused();

private:
    QuoteEntry entry(const char* company = "") const
    {
        QuoteEntry e = m_default;
        e.countryCode = "US";
        e.symbol = "XYZ";
        e.companyName = company;
        return e;
    }
    void useServer(const ScriptedHttpServer& server) { qputenv("KOLPEX_QUOTE_SERVICE", server.url()); }

    QuoteEntry m_default;
    RecordingNotifier m_notifier;
    CPageReader m_reader;
    NullWindowHost m_host;
    CQuoteManager m_manager;
};

void TestQuoteManager::initTestCase()
{
    qputenv("TZ", "America/New_York");
    tzset();
    Clock::SetNowForTesting([] { return kNow; });
}

void TestQuoteManager::init()
{
    m_notifier.messages.clear();
    m_notifier.details.clear();
    m_notifier.whileShowing = nullptr;
    m_reader.setTimeoutMs(400);
}

void TestQuoteManager::cleanupTestCase()
{
    Clock::SetNowForTesting({});
}

void TestQuoteManager::fullPage()
{
    QuoteEntry e = entry();
    QuoteRecord r;
    QVERIFY(m_manager.ParseQuotePage(Page("full.html").toStdString(), e, &r));
    QVERIFY(m_notifier.messages.empty());
    QCOMPARE(e.companyName, std::string("XYZ Corporation"));
    QCOMPARE(r.delayMinutes, 15);
    QCOMPARE(r.last, 1234.5);
    QCOMPARE(r.high, 1240.0);
    QCOMPARE(r.low, 1220.75);
    QCOMPARE(r.open, 1222.25);
    QCOMPARE(r.previousClose, 1222.25);
    QCOMPARE(r.bid, 1234.25);
    QCOMPARE(r.ask, 1234.75);
    QCOMPARE(r.yearHigh, 1300.0);
    QCOMPARE(r.yearLow, 980.1);
    QCOMPARE(r.priceEarnings, 23.45);
    QCOMPARE(r.earningsPerShare, 52.64);
    QCOMPARE(r.dividendPerShare, 4.8);
    QCOMPARE(r.dividendYield, 0.39);
    QCOMPARE(r.forwardPriceEarnings, 21.08);
    QCOMPARE(r.returnOnEquity, 18.7);
    QCOMPARE(r.beta, -0.25);
    QCOMPARE(r.change, std::string("+12.25 (+1.00%)"));
    QCOMPARE(r.volume, std::string("1,234,567"));
    QCOMPARE(r.averageVolume, std::string("2.1 Mil"));
    QCOMPARE(r.institutionalOwnership, std::string("61.2%"));
    QCOMPARE(r.marketCap, std::string("45.6 Bil"));
    QCOMPARE(r.sharesOutstanding, std::string("36.9 Mil"));
    QCOMPARE(r.exchange, std::string("New York Stock Exchange"));
    QCOMPARE(r.sales, std::string("8.3 Bil"));
}

void TestQuoteManager::savedPages_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<double>("last");
    QTest::addColumn<double>("high");
    QTest::addColumn<QByteArray>("volume");
    QTest::addColumn<QByteArray>("change");
    QTest::addColumn<double>("forwardPe");
    QTest::addColumn<int>("delay");
    QTest::newRow("s5 spans") << QByteArray("change_s5.html") << 1234.5 << 1240.0 << QByteArray("1,234,567")
                              << QByteArray("-3.10 (-0.25%)") << 21.08 << 15;
    QTest::newRow("no change") << QByteArray("no_change.html") << 1234.5 << 1240.0 << QByteArray("1,234,567")
                               << QByteArray(" ()") << 21.08 << 15;
    // Captions match their first occurrence: "High" inside "52 Week High", "Volume" inside
    // "Avg Daily Volume". No number after "Quotes delayed", a plain forward P/E, a nested price span.
    QTest::newRow("rearranged") << QByteArray("rearranged.html") << 98.76 << 1300.0 << QByteArray("2.1 Mil")
                                << QByteArray("+12.25 (+1.00%)") << 19.5 << 0;
}

void TestQuoteManager::savedPages()
{
    QFETCH(QByteArray, file);
    QuoteEntry e = entry();
    QuoteRecord r;
    QVERIFY(m_manager.ParseQuotePage(Page(file.constData()).toStdString(), e, &r));
    QVERIFY(m_notifier.messages.empty());
    QTEST(r.last, "last");
    QTEST(r.high, "high");
    QTEST(QByteArray::fromStdString(r.volume), "volume");
    QTEST(QByteArray::fromStdString(r.change), "change");
    QTEST(r.forwardPriceEarnings, "forwardPe");
    QTEST(int(r.delayMinutes), "delay");
}

void TestQuoteManager::failingPages_data()
{
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<QByteArray>("company");
    QTest::addColumn<QByteArray>("expectedCompany");
    QTest::newRow("empty page") << QByteArray() << QByteArray() << QByteArray();
    QTest::newRow("no time caption") << Page("no_time.html") << QByteArray() << QByteArray("XYZ Corporation");
    QTest::newRow("time not a time") << Page("bad_time.html") << QByteArray("Named Inc")
                                     << QByteArray("Named Inc");
    QTest::newRow("truncated") << Page("truncated.html") << QByteArray() << QByteArray("XYZ Corporation");
}

void TestQuoteManager::failingPages()
{
    QFETCH(QByteArray, page);
    QFETCH(QByteArray, company);
    QFETCH(QByteArray, expectedCompany);
    QuoteEntry e = entry(company.constData());
    QuoteRecord r = Sentinel();
    QVERIFY(!m_manager.ParseQuotePage(page.toStdString(), e, &r));
    QCOMPARE(r, Sentinel());
    // The learnt name stays and is the one the message names.
    QCOMPARE(QByteArray::fromStdString(e.companyName), expectedCompany);
    const std::string expected
        = "Sorry, no data available for:\n\n" + expectedCompany.toStdString() + " XYZ US.";
    QCOMPARE(m_notifier.messages, std::vector<std::string> { expected });
}

void TestQuoteManager::companyNameLearntAndKept_data()
{
    QTest::addColumn<QByteArray>("own");
    QTest::addColumn<QByteArray>("onPage");
    QTest::addColumn<QByteArray>("expected");
    const QByteArray page = "XYZ Corporation";
    const QByteArray simulated = "XYZ Corporation (simulated)";
    QTest::newRow("none: the page's") << QByteArray() << page << page;
    QTest::newRow("none, simulated: the page's") << QByteArray() << simulated << simulated;
    QTest::newRow("own: kept") << QByteArray("Own Name") << page << QByteArray("Own Name");
    QTest::newRow("own, simulated: marked")
        << QByteArray("Own Name") << simulated << QByteArray("Own Name (simulated)");
    QTest::newRow("marked, simulated: marked once")
        << QByteArray("Own Name (simulated)") << simulated << QByteArray("Own Name (simulated)");
    QTest::newRow("marked, live: unmarked")
        << QByteArray("Own Name (simulated)") << page << QByteArray("Own Name");
    QTest::newRow("marked, no name on the page: kept")
        << QByteArray("Own Name (simulated)") << QByteArray() << QByteArray("Own Name (simulated)");
    QTest::newRow("own at the bound, simulated: the mark whole") << QByteArray(int(kMaxCompanyNameLength),
        'N') << simulated << QByteArray(int(kMaxCompanyNameLength) - 12, 'N') + " (simulated)";
}

void TestQuoteManager::companyNameLearntAndKept()
{
    QFETCH(QByteArray, own);
    QFETCH(QByteArray, onPage);
    QFETCH(QByteArray, expected);
    QByteArray page = Page("full.html");
    page.replace("US:XYZ\">XYZ Corporation</a>", "US:XYZ\">" + onPage + "</a>");
    QVERIFY(page.contains(onPage));
    QuoteEntry e = entry(own.constData());
    // Without a record only the name is learnt: nothing else of the entry changes.
    QuoteEntry after = e;
    after.companyName = expected.toStdString();
    QVERIFY(m_manager.ParseQuotePage(page.toStdString(), e, nullptr));
    QCOMPARE(e, after);
}

void TestQuoteManager::editedPages_data()
{
    QTest::addColumn<QByteArray>("from");
    QTest::addColumn<QByteArray>("to");
    QTest::addColumn<double>("last");
    QTest::addColumn<int>("companyLength");
    const QByteArray price = "<span class=\"s1\">1,234.50</span>";
    const QByteArray link = "US:XYZ\">XYZ Corporation</a>";
    QTest::newRow("bold price") << price << QByteArray("<span class=\"s1\"><b>77.5</b></span>") << 77.5 << 15;
    QTest::newRow("price in two tags")
        << price << QByteArray("<span class=\"s1\"><b> <i>77.5</i></b></span>") << 77.5 << 15;
    QTest::newRow("price after an image")
        << price << QByteArray("<span class=\"s1\"><img src=\"up.gif\">77.5</span>") << 77.5 << 15;
    QTest::newRow("price before a tag")
        << price << QByteArray("<span class=\"s1\">77.5 <small>USD</small></span>") << 77.5 << 15;
    QTest::newRow("decimal comma price")
        << price << QByteArray("<span class=\"s1\">0,845</span>") << 0.0 << 15;
    QTest::newRow("2 MB company name") << link << "US:XYZ\">" + QByteArray(2 * 1024 * 1024, 'N') + "</a>"
                                       << 1234.5 << int(kMaxCompanyNameLength);
    QTest::newRow("company name just at the bound")
        << link << "US:XYZ\">" + QByteArray(int(kMaxCompanyNameLength), 'N') + "</a>" << 1234.5
        << int(kMaxCompanyNameLength);
}

// Pages that differ from a full one in one place.
void TestQuoteManager::editedPages()
{
    QFETCH(QByteArray, from);
    QFETCH(QByteArray, to);
    QByteArray page = Page("full.html");
    QVERIFY(page.contains(from));
    page.replace(from, to);
    QuoteEntry e = entry();
    QuoteRecord r;
    QVERIFY(m_manager.ParseQuotePage(page.toStdString(), e, &r));
    QVERIFY(m_notifier.messages.empty());
    QTEST(r.last, "last");
    QTEST(int(e.companyName.size()), "companyLength");
}

void TestQuoteManager::timeOnlyPageIsTodayAtThatTime()
{
    QuoteEntry e = entry();
    QuoteRecord today;
    QVERIFY(m_manager.ParseQuotePage(Page("full.html").toStdString(), e, &today));
    QCOMPARE(today.quoteTime, std::int64_t(1773518400)); // 2026-03-14 16:00 EDT
    QuoteRecord dated;
    QVERIFY(m_manager.ParseQuotePage(Page("dated.html").toStdString(), e, &dated));
    QCOMPARE(dated.quoteTime, std::int64_t(1110229200)); // 2005-03-07 16:00 EST
}

void TestQuoteManager::fetchChunkedPageOverHttp()
{
    ScriptedHttpServer server;
    const QByteArray page = Page("full.html");
    server.enqueue(ScriptedHttpServer::reply(200, page, { 7, 300, 1, 1000 }, 10));
    useServer(server);
    QuoteEntry e = entry();
    QuoteRecord fetched;
    QVERIFY(m_manager.FetchQuote(&e, &fetched));
    QuoteEntry e2 = entry();
    QuoteRecord parsed;
    QVERIFY(m_manager.ParseQuotePage(page.toStdString(), e2, &parsed));
    QCOMPARE(fetched, parsed);
    QCOMPARE(e, e2);
    QVERIFY(m_notifier.messages.empty());
    QVERIFY(server.requests().value(0).startsWith("GET /detail/stock_quote?Symbol=US:XYZ HTTP/1.1\r\n"));
}

void TestQuoteManager::fetchEncodesTheSymbol()
{
    ScriptedHttpServer server;
    server.enqueue(ScriptedHttpServer::reply(200, Page("full.html")));
    useServer(server);
    QuoteEntry e = entry();
    e.symbol = "A B&C+D#E%F.G";
    QVERIFY(m_manager.FetchQuote(&e, nullptr));
    QCOMPARE(server.requests().size(), 1);
    const QByteArray request = server.requests().first();
    QVERIFY2(request.startsWith("GET /detail/stock_quote?Symbol=US:A%20B%26C%2BD%23E%25F.G HTTP/1.1\r\n"),
        request.constData());
}

void TestQuoteManager::fetchZeroByteBody()
{
    ScriptedHttpServer server;
    server.enqueue(ScriptedHttpServer::reply(200, QByteArray()));
    useServer(server);
    QuoteEntry e = entry("Acme");
    QuoteRecord r = Sentinel();
    QVERIFY(!m_manager.FetchQuote(&e, &r));
    QCOMPARE(r, Sentinel());
    QCOMPARE(
        m_notifier.messages, std::vector<std::string> { "Sorry, no data available for:\n\nAcme XYZ US." });
    QCOMPARE(m_notifier.details, std::vector<std::string> { std::string() }); // no reason given, none shown
}

void TestQuoteManager::serviceReasonIsTheDetail()
{
    const QByteArray reason = "every source failed: yahoo: cookie: host not found";
    ScriptedHttpServer server;
    server.enqueue({ ScriptedHttpServer::Action::send(
        "HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\nX-Kolpex-Reason: " + reason
        + "\r\nConnection: close\r\n\r\n") });
    useServer(server);
    QuoteEntry e = entry("Acme");
    QVERIFY(!m_manager.FetchQuote(&e, nullptr));
    QCOMPARE(
        m_notifier.messages, std::vector<std::string> { "Sorry, no data available for:\n\nAcme XYZ US." });
    QCOMPARE(m_notifier.details, std::vector<std::string> { reason.toStdString() });
}

void TestQuoteManager::fetchUnreachable_data()
{
    QTest::addColumn<bool>("stall");
    QTest::addColumn<QByteArray>("company");
    QTest::newRow("refused port") << false << QByteArray();
    QTest::newRow("stall") << true << QByteArray("Acme");
}

void TestQuoteManager::fetchUnreachable()
{
    QFETCH(bool, stall);
    QFETCH(QByteArray, company);
    ScriptedHttpServer server;
    server.enqueue({ ScriptedHttpServer::Action::stall() });
    if (stall)
        useServer(server);
    else
        qputenv("KOLPEX_QUOTE_SERVICE",
            "http://127.0.0.1:" + QByteArray::number(ScriptedHttpServer::unusedPort()));
    QuoteEntry e = entry(company.constData());
    QuoteRecord r = Sentinel();
    QVERIFY(!m_manager.FetchQuote(&e, &r));
    QCOMPARE(r, Sentinel());
    const std::string noData = "Sorry, no data available for:\n\n" + company.toStdString() + " XYZ US.";
    QCOMPARE(m_notifier.messages, (std::vector<std::string> { kNoInternet, noData }));
}

void TestQuoteManager::fetchErrorStatusWithBody()
{
    ScriptedHttpServer server;
    server.enqueue(ScriptedHttpServer::reply(503, Page("full.html")));
    server.enqueue(ScriptedHttpServer::reply(404, "<html><body>No such page</body></html>"));
    useServer(server);
    QuoteEntry e = entry();
    QuoteRecord r;
    // The status is not looked at: a page is a page.
    QVERIFY(m_manager.FetchQuote(&e, &r));
    QCOMPARE(r.last, 1234.5);
    QVERIFY(!m_manager.FetchQuote(&e, &r));
    QCOMPARE(m_notifier.messages,
        std::vector<std::string> { "Sorry, no data available for:\n\nXYZ Corporation XYZ US." });
}

void TestQuoteManager::nestedCallRefusedWhileMessageShows()
{
    ScriptedHttpServer server;
    server.enqueue(ScriptedHttpServer::reply(200, Page("full.html")));
    useServer(server);
    int nestedCalls = 0;
    bool nestedResult = true;
    m_notifier.whileShowing = [&](const std::string&) {
        ++nestedCalls;
        QuoteEntry other = entry();
        QuoteRecord record;
        nestedResult = m_manager.FetchQuote(&other, &record) || m_manager.ParseQuotePage("x", other, &record);
    };
    QuoteEntry e = entry();
    QVERIFY(!m_manager.ParseQuotePage(std::string(), e, nullptr));
    QCOMPARE(nestedCalls, 1);
    QVERIFY(!nestedResult);
    QCOMPARE(m_notifier.messages.size(), size_t(1));
    QCOMPARE(server.connections(), 0);
    // Once the box is closed the flag is down again.
    m_notifier.whileShowing = nullptr;
    QVERIFY(m_manager.FetchQuote(&e, nullptr));
}

void TestQuoteManager::nullEntryRefused()
{
    QuoteRecord r = Sentinel();
    QVERIFY(!m_manager.FetchQuote(nullptr, &r));
    QCOMPARE(r, Sentinel());
    QVERIFY(m_notifier.messages.empty());
}

QTEST_GUILESS_MAIN(TestQuoteManager)
#include "tst_quotemanager.moc"
