// The demo script's parser: which lines run and which are refused, with the line they came from.
#include "app/demoscript.h"

#include <QTest>

class TestDemoScript final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void accepted_data()
    {
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<QByteArray>("verbs"); // one letter per command
        QTest::addColumn<QByteArray>("arguments"); // joined by |
        QTest::addColumn<QByteArray>("lines"); // joined by ,
        QTest::newRow("empty") << QByteArray() << QByteArray() << QByteArray() << QByteArray();
        QTest::newRow("comments and blanks")
            << QByteArray("# hello\n\n   \r\n") << QByteArray() << QByteArray() << QByteArray();
        QTest::newRow("market by code and caption")
            << QByteArray("market NASDAQ\nmarket  Toronto Stock Exchange \r\n") << QByteArray("mm")
            << QByteArray("NASDAQ|Toronto Stock Exchange") << QByteArray("1,2");
        QTest::newRow("find keeps inner blanks, empty find")
            << QByteArray("find  big corp\nfind\n") << QByteArray("ff") << QByteArray("big corp|")
            << QByteArray("1,2");
        QTest::newRow("quote with colon in symbol")
            << QByteArray("\nquote US:A:B\n") << QByteArray("q") << QByteArray("US:A:B") << QByteArray("2");
        QTest::newRow("refresh-every") << QByteArray("refresh-every 1000\nquote US:MSFT") << QByteArray("rq")
                                       << QByteArray("1000|US:MSFT") << QByteArray("1,2");
        QTest::newRow("write-to-file")
            << QByteArray("write-to-file on\nquote US:A\nwrite-to-file off") << QByteArray("wqw")
            << QByteArray("on|US:A|off") << QByteArray("1,2,3");
        QTest::newRow("layout and pictures")
            << QByteArray("resize 1200 850\ntile\ncascade\nwait 0\nopen 3\nscreenshot /tmp/a b.png\nquit")
            << QByteArray("rtcwosq") << QByteArray("1200 850|||0|3|/tmp/a b.png|")
            << QByteArray("1,2,3,4,5,6,7");
    }

    void accepted()
    {
        QFETCH(QByteArray, script);
        QFETCH(QByteArray, verbs);
        QFETCH(QByteArray, arguments);
        QFETCH(QByteArray, lines);
        std::vector<DemoCommand> commands;
        std::string error;
        QVERIFY2(ParseDemoScript(script.toStdString(), commands, error), error.c_str());
        QByteArray gotVerbs, gotArguments, gotLines;
        for (const DemoCommand& command : commands) {
            gotVerbs += command.verb.front();
            gotArguments
                += (gotArguments.isEmpty() && &command == &commands.front() ? "" : "|") + command.argument;
            gotLines += (&command == &commands.front() ? "" : ",") + std::to_string(command.line);
        }
        QCOMPARE(gotVerbs, verbs);
        QCOMPARE(gotArguments, arguments);
        QCOMPARE(gotLines, lines);
    }

    void refused_data()
    {
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<QByteArray>("where");
        QTest::newRow("unknown verb") << QByteArray("market NYSE\nexplode\n") << QByteArray("line 2:");
        QTest::newRow("unknown market") << QByteArray("market Mars") << QByteArray("line 1:");
        QTest::newRow("market code is exact") << QByteArray("market nasdaq") << QByteArray("line 1:");
        QTest::newRow("quote without colon") << QByteArray("quote MSFT") << QByteArray("line 1:");
        QTest::newRow("quote without symbol") << QByteArray("quote US:") << QByteArray("line 1:");
        QTest::newRow("quote without country") << QByteArray("quote :MSFT") << QByteArray("line 1:");
        QTest::newRow("negative wait") << QByteArray("\n\nwait -5") << QByteArray("line 3:");
        QTest::newRow("refresh-every zero") << QByteArray("refresh-every 0") << QByteArray("line 1:");
        QTest::newRow("refresh-every without period") << QByteArray("refresh-every") << QByteArray("line 1:");
        QTest::newRow("refresh-every with unit") << QByteArray("refresh-every 1s") << QByteArray("line 1:");
        QTest::newRow("resize one number") << QByteArray("resize 800") << QByteArray("line 1:");
        QTest::newRow("tile with argument") << QByteArray("tile now") << QByteArray("line 1:");
        QTest::newRow("write-to-file without a setting")
            << QByteArray("write-to-file") << QByteArray("line 1:");
        QTest::newRow("write-to-file yes") << QByteArray("write-to-file yes") << QByteArray("line 1:");
        QTest::newRow("screenshot without file") << QByteArray("screenshot") << QByteArray("line 1:");
    }

    void refused()
    {
        QFETCH(QByteArray, script);
        QFETCH(QByteArray, where);
        std::vector<DemoCommand> commands;
        std::string error;
        QVERIFY(!ParseDemoScript(script.toStdString(), commands, error));
        QVERIFY2(QByteArray::fromStdString(error).startsWith(where), error.c_str());
        QVERIFY(commands.empty()); // nothing of a broken script runs
    }
};

QTEST_GUILESS_MAIN(TestDemoScript)
#include "tst_demoscript.moc"
