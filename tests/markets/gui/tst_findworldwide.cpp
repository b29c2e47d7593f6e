#include "guifixture.h"
#include "markets/gui/cdia_findworldwide.h"
#include "markets/gui/findworldwide.h"
#include "markets/liststate.h"
#include "res/resource_ids.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTest>

using namespace guifixture;

class TestFindWorldwide final : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void opensWithUnitedStatesSelected();
    void searchTextAndEntry_data();
    void searchTextAndEntry();
    void emptySymbolStaysOpen();
    void unknownCountryStaysOpen();
    void cancelLeavesEverything();
    void withoutColonNothingOpens();

private:
    QTemporaryDir m_dir;
    Shell m_shell;
};

void TestFindWorldwide::initTestCase()
{
    QVERIFY(m_dir.isValid());
    IsolateEnvironment(m_dir);
    QVERIFY(m_shell.start());
}

void TestFindWorldwide::init()
{
    g_searchText = "untouched";
    m_shell.notifier.messages.clear();
    m_shell.frame().m_currentEntry = Entry("previous", "PREV", "77", "x");
}

void TestFindWorldwide::cleanup()
{
    CDia_FindWorldwide::s_execHookForTesting = nullptr;
}

void TestFindWorldwide::opensWithUnitedStatesSelected()
{
    CDia_FindWorldwide dialog(m_shell.notifier);
    QComboBox* combo = dialog.countryCombo();
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Find Quote Worldwide"));
    QCOMPARE(combo->count(), 12);
    QCOMPARE(combo->currentIndex(), 11);
    QCOMPARE(combo->currentText(), QStringLiteral("United States"));
    QVERIFY(!combo->isEditable());
    QVERIFY(dialog.symbolEdit()->text().isEmpty());
    QCOMPARE(dialog.symbolEdit()->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    for (int i = 1; i < combo->count(); ++i)
        QVERIFY(combo->itemText(i - 1) < combo->itemText(i));
}

void TestFindWorldwide::searchTextAndEntry_data()
{
    QTest::addColumn<QString>("symbol");
    QTest::addColumn<QString>("country");
    QTest::addColumn<QByteArray>("searchText");
    QTest::addColumn<QByteArray>("code");
    QTest::addColumn<QByteArray>("entrySymbol");

    QTest::newRow("msft in the US") << QStringLiteral("msft") << QStringLiteral("United States")
                                    << QByteArray("US:MSFT") << QByteArray("US") << QByteArray("MSFT");
    QTest::newRow("blanks passed on") << QStringLiteral("   ") << QStringLiteral("United States")
                                      << QByteArray("US:   ") << QByteArray("US") << QByteArray("   ");
    QTest::newRow("colon in the symbol") << QStringLiteral("bmw:x") << QStringLiteral("Germany")
                                         << QByteArray("DE:BMW:X") << QByteArray("DE") << QByteArray("BMW:X");
    QTest::newRow("accented letters")
        << QStringLiteral("soci\u00e9t\u00e9") << QStringLiteral("France") << QByteArray("FR:SOCI\xC9T\xC9")
        << QByteArray("FR") << QByteArray("SOCI\xC9T\xC9");
    QTest::newRow("Great Britain") << QStringLiteral("bp.") << QStringLiteral("Great Britain")
                                   << QByteArray("GB:BP.") << QByteArray("GB") << QByteArray("BP.");
}

void TestFindWorldwide::searchTextAndEntry()
{
    QFETCH(QString, symbol);
    QFETCH(QString, country);
    QFETCH(QByteArray, searchText);
    QFETCH(QByteArray, code);
    QFETCH(QByteArray, entrySymbol);

    CDia_FindWorldwide::s_execHookForTesting = [&](QDialog& d) {
        auto& dialog = static_cast<CDia_FindWorldwide&>(d);
        dialog.symbolEdit()->setText(symbol);
        dialog.countryCombo()->setCurrentText(country);
        dialog.accept();
        return dialog.result();
    };
    m_shell.frame().runCommand(ids::ID_FIND_WORLDWIDE);

    QCOMPARE(QByteArray::fromStdString(g_searchText), searchText);
    // The refusing service opens no window, but the opener was handed this entry.
    const QuoteEntry& opened = m_shell.frame().m_currentEntry;
    QCOMPARE(QByteArray::fromStdString(opened.countryCode), code);
    QCOMPARE(QByteArray::fromStdString(opened.symbol), entrySymbol);
    QVERIFY(opened.companyName.empty());
    QVERIFY(opened.volume.empty());
    QVERIFY(opened.listed.empty());
    QCOMPARE(opened.refreshInterval, 5);
    QVERIFY(!m_shell.notifier.messages.empty()); // the retrieval's own failure
}

void TestFindWorldwide::emptySymbolStaysOpen()
{
    int firstResult = -1;
    std::vector<std::string> messagesAfterFirst;
    std::string searchTextAfterFirst;
    CDia_FindWorldwide::s_execHookForTesting = [&](QDialog& d) {
        auto& dialog = static_cast<CDia_FindWorldwide&>(d);
        dialog.accept();
        firstResult = dialog.result();
        messagesAfterFirst = m_shell.notifier.messages;
        searchTextAfterFirst = g_searchText;
        dialog.symbolEdit()->setText(QStringLiteral("ibm"));
        dialog.accept();
        return dialog.result();
    };
    m_shell.frame().runCommand(ids::ID_FIND_WORLDWIDE);
    QCOMPARE(firstResult, int(QDialog::Rejected));
    QCOMPARE(messagesAfterFirst, (std::vector<std::string> { "Please enter a quote Symbol." }));
    QCOMPARE(searchTextAfterFirst, std::string("untouched"));
    QCOMPARE(g_searchText, std::string("US:IBM"));
}

void TestFindWorldwide::unknownCountryStaysOpen()
{
    CDia_FindWorldwide dialog(m_shell.notifier);
    dialog.symbolEdit()->setText(QStringLiteral("abc"));
    dialog.countryCombo()->setCurrentIndex(-1);
    dialog.accept();
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(m_shell.notifier.messages, (std::vector<std::string> { "Unknown Country: " }));
    QVERIFY(g_searchText.empty()); // emptied before the country was looked up
}

void TestFindWorldwide::cancelLeavesEverything()
{
    const QuoteEntry before = m_shell.frame().m_currentEntry;
    CDia_FindWorldwide::s_execHookForTesting = [](QDialog& d) {
        d.reject();
        return d.result();
    };
    RunFindWorldwide(m_shell.frame());
    QCOMPARE(g_searchText, std::string("untouched"));
    QCOMPARE(m_shell.frame().m_currentEntry, before);
    QVERIFY(m_shell.notifier.messages.empty());
}

void TestFindWorldwide::withoutColonNothingOpens()
{
    const QuoteEntry before = m_shell.frame().m_currentEntry;
    // A dialog that says OK without leaving a code: the command gives up quietly.
    CDia_FindWorldwide::s_execHookForTesting = [](QDialog&) { return int(QDialog::Accepted); };
    g_searchText = "no colon";
    RunFindWorldwide(m_shell.frame());
    QCOMPARE(m_shell.frame().m_currentEntry, before);
    QVERIFY(m_shell.notifier.messages.empty());
}

QTEST_MAIN(TestFindWorldwide)
#include "tst_findworldwide.moc"
