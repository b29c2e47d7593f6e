// The wait cursor of a retrieval is down whenever a message asks the user for OK.
#include "platform/notifier.h"
#include "quote/nullwindowhost.h"
#include "quote/pagereader.h"
#include "quote/quotemanager.h"
#include "support/scriptedhttpserver.h"

#include <QGuiApplication>
#include <QTest>

class TestFetchCursor final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void noWaitCursorOverMessages_data()
    {
        QTest::addColumn<bool>("reachable");
        QTest::addColumn<int>("messages");
        QTest::newRow("unreachable: both messages") << false << 2;
        QTest::newRow("empty page: no-data message") << true << 1;
    }

    void noWaitCursorOverMessages()
    {
        QFETCH(bool, reachable);
        QFETCH(int, messages);
        ScriptedHttpServer server;
        server.enqueue(ScriptedHttpServer::reply(200, QByteArray()));
        qputenv("KOLPEX_QUOTE_SERVICE",
            reachable ? server.url()
                      : "http://127.0.0.1:" + QByteArray::number(ScriptedHttpServer::unusedPort()));
        RecordingNotifier notifier;
        QStringList cursorsWhileShowing;
        notifier.whileShowing = [&](const std::string& text) {
            if (QGuiApplication::overrideCursor() != nullptr)
                cursorsWhileShowing << QString::fromStdString(text);
        };
        CPageReader reader(notifier);
        NullWindowHost host;
        const QuoteEntry defaults;
        CQuoteManager manager(defaults, reader, host, notifier);
        QuoteEntry entry = defaults;
        entry.countryCode = "US";
        entry.symbol = "XYZ";
        QVERIFY(!manager.FetchQuote(&entry, nullptr));
        QCOMPARE(int(notifier.messages.size()), messages);
        QCOMPARE(cursorsWhileShowing, QStringList());
        QVERIFY(QGuiApplication::overrideCursor() == nullptr);
    }
};

QTEST_MAIN(TestFetchCursor)
#include "tst_fetchcursor.moc"
