#include "guifixture.h"
#include "markets/gui/ckolpexdoc.h"
#include "markets/liststate.h"
#include "platform/recentfilelist.h"
#include "support/scriptedhttpserver.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace guifixture;

namespace {

QByteArray Page(const char* name)
{
    QFile file(QStringLiteral(KOLPEX_TEST_DATA "/pages/") + QLatin1String(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString Stored(const char* text)
{
    return QDir::currentPath() + QStringLiteral("/./") + QLatin1String(text);
}

} // namespace

class TestRecentReopen final : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void reopenThatWorksMovesToTop();
    void reopenThatFailsIsRemoved_data();
    void reopenThatFailsIsRemoved();
    void documentAsksWithTheParsedEntry();
    void earlierEntryGivesWayToItsNewForm();

private:
    QList<CKolpexView*> quoteViews();

    QTemporaryDir m_dir;
    Shell m_shell;
    ScriptedHttpServer m_server;
};

void TestRecentReopen::initTestCase()
{
    QVERIFY(m_dir.isValid());
    IsolateEnvironment(m_dir);
    QVERIFY(m_server.isListening());
    const QByteArray page = Page("full.html");
    QVERIFY(!page.isEmpty());
    m_server.enqueue(ScriptedHttpServer::reply(200, page));
    QVERIFY(m_shell.start());
    g_pendingListKind = 0;
}

void TestRecentReopen::init()
{
    qputenv("KOLPEX_QUOTE_SERVICE", m_server.url());
    m_shell.notifier.messages.clear();
    RecentFileList& recent = m_shell.app->recentFiles();
    while (recent.size() > 0)
        recent.Remove(0);
    m_shell.app->AddToRecentFileList("Alpha Corp (US, AAA)");
    m_shell.app->AddToRecentFileList("Beta Corp (NYSE, BBB)");
    m_shell.app->AddToRecentFileList("Gamma Corp (GB, CCC)");
}

void TestRecentReopen::cleanup()
{
    m_shell.closeAll();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QList<CKolpexView*> TestRecentReopen::quoteViews()
{
    QList<CKolpexView*> views;
    for (QMdiSubWindow* window : m_shell.frame().mdiArea()->subWindowList()) {
        if (auto* view = qobject_cast<CKolpexView*>(window->widget()))
            views.append(view);
    }
    return views;
}

void TestRecentReopen::reopenThatWorksMovesToTop()
{
    RecentFileList& recent = m_shell.app->recentFiles();
    QCOMPARE(recent.entries(),
        (QStringList { Stored("Gamma Corp (GB, CCC)"), Stored("Beta Corp (NYSE, BBB)"),
            Stored("Alpha Corp (US, AAA)") }));
    m_shell.app->OnOpenRecentFile(2);
    QVERIFY(m_shell.notifier.messages.empty());
    const QList<CKolpexView*> views = quoteViews();
    QCOMPARE(views.size(), 1); // the quote window only; the reopening document is gone
    QCOMPARE(views.front()->entry().symbol, std::string("AAA"));
    QCOMPARE(views.front()->entry().countryCode, std::string("US"));
    QCOMPARE(views.front()->entry().companyName, std::string("Alpha Corp"));
    QCOMPARE(recent.entries(),
        (QStringList { Stored("Alpha Corp (US, AAA)"), Stored("Gamma Corp (GB, CCC)"),
            Stored("Beta Corp (NYSE, BBB)") }));

    // A market code in an entry reopens with its country, and the list then names the country.
    m_shell.app->OnOpenRecentFile(2);
    QCOMPARE(quoteViews().size(), 2);
    QCOMPARE(m_shell.frame().m_currentEntry.countryCode, std::string("US"));
    // The reopened quote is listed under its country; the entry chosen opened, so it stays.
    QCOMPARE(recent.entries(),
        (QStringList { Stored("Beta Corp (US, BBB)"), Stored("Alpha Corp (US, AAA)"),
            Stored("Gamma Corp (GB, CCC)"), Stored("Beta Corp (NYSE, BBB)") }));
}

void TestRecentReopen::reopenThatFailsIsRemoved_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<bool>("serviceRefuses");
    QTest::newRow("no parenthesis") << QStringLiteral("Broken entry US, XXX") << false;
    QTest::newRow("service refuses") << QStringLiteral("Delta Corp (US, DDD)") << true;
}

void TestRecentReopen::reopenThatFailsIsRemoved()
{
    QFETCH(QString, entry);
    QFETCH(bool, serviceRefuses);
    if (serviceRefuses)
        qputenv("KOLPEX_QUOTE_SERVICE",
            "http://127.0.0.1:" + QByteArray::number(ScriptedHttpServer::unusedPort()));
    RecentFileList& recent = m_shell.app->recentFiles();
    m_shell.app->AddToRecentFileList(entry.toStdString());
    QCOMPARE(recent.size(), 4);
    m_shell.app->OnOpenRecentFile(0);
    QVERIFY(quoteViews().isEmpty());
    QCOMPARE(m_shell.frame().mdiArea()->subWindowList().size(), 0);
    QCOMPARE(recent.entries(),
        (QStringList { Stored("Gamma Corp (GB, CCC)"), Stored("Beta Corp (NYSE, BBB)"),
            Stored("Alpha Corp (US, AAA)") }));
    QCOMPARE(m_shell.notifier.messages.empty(), !serviceRefuses);
}

void TestRecentReopen::documentAsksWithTheParsedEntry()
{
    qputenv(
        "KOLPEX_QUOTE_SERVICE", "http://127.0.0.1:" + QByteArray::number(ScriptedHttpServer::unusedPort()));
    CKolpexDoc doc(m_shell.frame());
    m_shell.frame().m_currentEntry = QuoteEntry {};
    QVERIFY(!doc.OnOpenDocument("C:\\Data\\Acme Corp (TSX, XYZ)"));
    QCOMPARE(m_shell.frame().m_currentEntry.countryCode, std::string("CA"));
    QCOMPARE(m_shell.frame().m_currentEntry.symbol, std::string("XYZ"));
    QCOMPARE(m_shell.frame().m_currentEntry.companyName, std::string("Acme Corp"));
    QCOMPARE(m_shell.frame().m_currentEntry.refreshInterval, 5);

    // An entry stored under the current directory keeps a company name that holds a slash.
    m_shell.frame().m_currentEntry = QuoteEntry {};
    QVERIFY(!doc.OnOpenDocument(Stored("Novo Nordisk A/S ADR (US, NVO)").toStdString()));
    QCOMPARE(m_shell.frame().m_currentEntry.companyName, std::string("Novo Nordisk A/S ADR"));
    QCOMPARE(m_shell.frame().m_currentEntry.symbol, std::string("NVO"));

    // ...and so does one stored under another directory than the one the program runs in now.
    QTemporaryDir other;
    QVERIFY(other.isValid());
    m_shell.frame().m_currentEntry = QuoteEntry {};
    QVERIFY(!doc.OnOpenDocument(
        QFile::encodeName(other.path()).toStdString() + "/Ascendis Pharma A/S ADR (US, ASND)"));
    QCOMPARE(m_shell.frame().m_currentEntry.companyName, std::string("Ascendis Pharma A/S ADR"));
    QCOMPARE(m_shell.frame().m_currentEntry.symbol, std::string("ASND"));

    m_shell.frame().m_currentEntry = QuoteEntry {};
    m_shell.notifier.messages.clear();
    QVERIFY(!doc.OnOpenDocument(""));
    QVERIFY(m_shell.frame().m_currentEntry.symbol.empty());
    QVERIFY(m_shell.notifier.messages.empty());
}

// An entry stored by an earlier release reopens as it always did and is then listed once, in the
// form that keeps its company whole wherever its directory goes.
void TestRecentReopen::earlierEntryGivesWayToItsNewForm()
{
    RecentFileList& recent = m_shell.app->recentFiles();
    recent.Add(QDir::currentPath() + QStringLiteral("/Novo Nordisk A/S ADR (US, NVO)"));
    m_shell.app->OnOpenRecentFile(0);
    QCOMPARE(quoteViews().size(), 1);
    QCOMPARE(quoteViews().front()->entry().companyName, std::string("Novo Nordisk A/S ADR"));
    QCOMPARE(recent.entries(),
        (QStringList { Stored("Novo Nordisk A/S ADR (US, NVO)"), Stored("Gamma Corp (GB, CCC)"),
            Stored("Beta Corp (NYSE, BBB)"), Stored("Alpha Corp (US, AAA)") }));
}

QTEST_MAIN(TestRecentReopen)
#include "tst_recentreopen.moc"
