#include "platform/httpget.h"
#include "platform/notifier.h"
#include "quote/pagereader.h"
#include "support/scriptedhttpserver.h"

#include <QElapsedTimer>
#include <QTest>

using Action = ScriptedHttpServer::Action;

class TestPageReader final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cleanValue_data();
    void cleanValue();
    void extractValue_data();
    void extractValue();
    void chunkedBodyArrivesWhole();
    void readsInChunksOfTheBufferSize_data();
    void readsInChunksOfTheBufferSize();
    void zeroByteBodyIsSilent();
    void refusedPortShowsMessageOnce();
    void errorStatusBodyIsReturned();
    void stallBeforeAnythingIsUnreachable();
    void stallPartWayReturnsThePart();
    void closePartWayReturnsThePart();
    void bodyStopsAtTheCeiling();
    void requestCarriesAgentAndNoCache();
};

void TestPageReader::cleanValue_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("plain") << QByteArray("12.50") << QByteArray("12.50");
    QTest::newRow("three spaces become two") << QByteArray("a   b") << QByteArray("a  b");
    QTest::newRow("four spaces become two") << QByteArray("a    b") << QByteArray("a  b");
    QTest::newRow("five spaces become three") << QByteArray("a     b") << QByteArray("a   b");
    QTest::newRow("line feed becomes a space")
        << QByteArray("New York\nStock") << QByteArray("New York Stock");
    QTest::newRow("line feed after halving") << QByteArray("a \n b") << QByteArray("a   b");
    QTest::newRow("inner carriage return stays") << QByteArray("a\r\nb") << QByteArray("a\r b");
    QTest::newRow("white space only") << QByteArray(" \t\r\n\v\f  ") << QByteArray("");
    QTest::newRow("trim both ends") << QByteArray("\t 4.5 \r") << QByteArray("4.5");
    QTest::newRow("nbsp between words") << QByteArray("45.6&#160;Bil") << QByteArray("45.6 Bil");
    QTest::newRow("nbsp next to a space") << QByteArray("a &#160;b") << QByteArray("a  b");
    QTest::newRow("degree sign") << QByteArray("21&deg;") << QByteArray("21\xB0");
    QTest::newRow("every table row") << QByteArray("&#34;&#33;&#36;&#37;&#38;&#45;&#46;&#47;&#60;&#62;&#247;")
                                     << QByteArray("\"!$%&-./<>-");
    QTest::newRow("chained through row 5") << QByteArray("&#38;#60;b&#38;#62;") << QByteArray("<b>");
    QTest::newRow("no chaining backwards") << QByteArray("&#38;#34;") << QByteArray("&#34;");
    QTest::newRow("named references untouched")
        << QByteArray("AT&amp;T&nbsp;&#39;") << QByteArray("AT&amp;T&nbsp;&#39;");
    QTest::newRow("markup stays") << QByteArray("<a href=\"x\">21.08</a>")
                                  << QByteArray("<a href=\"x\">21.08</a>");
}

void TestPageReader::cleanValue()
{
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, expected);
    QCOMPARE(QByteArray::fromStdString(CleanValue(input.toStdString())), expected);
}

void TestPageReader::extractValue_data()
{
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<QByteArray>("caption");
    QTest::addColumn<QByteArray>("start");
    QTest::addColumn<QByteArray>("end");
    QTest::addColumn<int>("occurrence");
    QTest::addColumn<QByteArray>("expected");
    const QByteArray cells
        = "<td>High</td><td class=\"cl1\"> 5.5 </td><td>High</td><td class=\"cl1\">6.5</td>"
          "<td>Low</td><td class=\"cl1\">7.5</td>";
    QTest::newRow("found") << cells << QByteArray("High") << QByteArray("cl1\">") << QByteArray("</td>") << 1
                           << QByteArray("5.5");
    QTest::newRow("second occurrence") << cells << QByteArray("High") << QByteArray("cl1\">")
                                       << QByteArray("</td>") << 2 << QByteArray("6.5");
    QTest::newRow("third occurrence runs past")
        << cells << QByteArray("High") << QByteArray("cl1\">") << QByteArray("</td>") << 3 << QByteArray("");
    QTest::newRow("caption missing") << cells << QByteArray("Beta") << QByteArray("cl1\">")
                                     << QByteArray("</td>") << 1 << QByteArray("");
    QTest::newRow("start marker missing after caption")
        << cells << QByteArray("Low") << QByteArray("s1\">") << QByteArray("</td>") << 1 << QByteArray("");
    QTest::newRow("end marker missing after start")
        << QByteArray("Low<td class=\"cl1\">7.5") << QByteArray("Low") << QByteArray("cl1\">")
        << QByteArray("</td>") << 1 << QByteArray("");
    QTest::newRow("empty caption searches from the start")
        << cells << QByteArray() << QByteArray("cl1\">") << QByteArray("</td>") << 1 << QByteArray("5.5");
    QTest::newRow("start marker before caption is not used")
        << QByteArray("<b>1</b>Caption<b>2</b>") << QByteArray("Caption") << QByteArray("<b>")
        << QByteArray("</b>") << 1 << QByteArray("2");
    QTest::newRow("end marker inside start marker")
        << QByteArray("x<ab>y") << QByteArray() << QByteArray("<ab>") << QByteArray("b>") << 1
        << QByteArray("");
    QTest::newRow("caption inside a longer caption")
        << QByteArray("52 Week High<i>9</i>High<i>5</i>") << QByteArray("High") << QByteArray("<i>")
        << QByteArray("</i>") << 1 << QByteArray("9");
    QTest::newRow("value is cleaned") << QByteArray("A<i>  x &#38;\n y  </i>") << QByteArray("A")
                                      << QByteArray("<i>") << QByteArray("</i>") << 1 << QByteArray("x &  y");
}

void TestPageReader::extractValue()
{
    QFETCH(QByteArray, page);
    QFETCH(QByteArray, caption);
    QFETCH(QByteArray, start);
    QFETCH(QByteArray, end);
    QFETCH(int, occurrence);
    QFETCH(QByteArray, expected);
    RecordingNotifier notifier;
    const CPageReader reader(notifier);
    const std::string value = reader.ExtractValue(
        page.toStdString(), caption.toStdString(), start.toStdString(), end.toStdString(), occurrence);
    QCOMPARE(QByteArray::fromStdString(value), expected);
}

namespace {

QByteArray Pattern(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return bytes;
}

} // namespace

void TestPageReader::chunkedBodyArrivesWhole()
{
    ScriptedHttpServer server;
    const QByteArray body = Pattern(250'000);
    server.enqueue(ScriptedHttpServer::reply(200, body, { 1, 17, 4096, 100'000, 3 }, 15));
    RecordingNotifier notifier;
    CPageReader reader(notifier);
    const std::string got = reader.Download(server.url("/page").toStdString(), 100'000);
    QCOMPARE(got.size(), size_t(body.size()));
    QVERIFY(QByteArray::fromStdString(got) == body);
    QVERIFY(notifier.messages.empty());
}

void TestPageReader::readsInChunksOfTheBufferSize_data()
{
    QTest::addColumn<int>("bufferSize");
    QTest::newRow("small buffer") << 1000;
    QTest::newRow("quote buffer") << 100'000;
}

void TestPageReader::readsInChunksOfTheBufferSize()
{
    QFETCH(int, bufferSize);
    ScriptedHttpServer server;
    const QByteArray body = Pattern(2'500'000);
    server.enqueue(ScriptedHttpServer::reply(200, body));
    HttpGetOptions options;
    options.bufferSize = static_cast<size_t>(bufferSize);
    const HttpGetResult result = HttpGet(server.url("/").toStdString(), options);
    QCOMPARE(result.outcome, HttpGetResult::Outcome::Complete);
    QCOMPARE(result.body.size(), size_t(body.size()));
    QVERIFY(result.largestRead <= size_t(bufferSize));
    QVERIFY(result.largestRead > 0);
}

void TestPageReader::zeroByteBodyIsSilent()
{
    ScriptedHttpServer server;
    server.enqueue(ScriptedHttpServer::reply(200, QByteArray()));
    RecordingNotifier notifier;
    CPageReader reader(notifier);
    QVERIFY(reader.Download(server.url("/").toStdString(), 0).empty());
    QVERIFY(notifier.messages.empty());
    QCOMPARE(server.connections(), 1);
}

void TestPageReader::refusedPortShowsMessageOnce()
{
    RecordingNotifier notifier;
    CPageReader reader(notifier);
    const std::string url = "http://127.0.0.1:" + std::to_string(ScriptedHttpServer::unusedPort()) + "/";
    QVERIFY(reader.Download(url, 100'000).empty());
    QCOMPARE(notifier.messages, std::vector<std::string> { "No Internet connection found." });
}

void TestPageReader::errorStatusBodyIsReturned()
{
    ScriptedHttpServer server;
    server.enqueue(ScriptedHttpServer::reply(404, "<html>Not here</html>", {}, 0));
    RecordingNotifier notifier;
    CPageReader reader(notifier);
    QCOMPARE(reader.Download(server.url("/").toStdString(), 100'000), std::string("<html>Not here</html>"));
    QVERIFY(notifier.messages.empty());
}

void TestPageReader::stallBeforeAnythingIsUnreachable()
{
    ScriptedHttpServer server;
    server.enqueue({ Action::stall() });
    RecordingNotifier notifier;
    CPageReader reader(notifier);
    reader.setTimeoutMs(300);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(reader.Download(server.url("/").toStdString(), 100'000).empty());
    QVERIFY(clock.elapsed() < 5000);
    QCOMPARE(notifier.messages, std::vector<std::string> { "No Internet connection found." });
}

void TestPageReader::stallPartWayReturnsThePart()
{
    ScriptedHttpServer server;
    server.enqueue(
        { Action::send(ScriptedHttpServer::head(200, 1000)), Action::send("first part"), Action::stall() });
    RecordingNotifier notifier;
    CPageReader reader(notifier);
    reader.setTimeoutMs(300);
    QCOMPARE(reader.Download(server.url("/").toStdString(), 100'000), std::string("first part"));
    QVERIFY(notifier.messages.empty());
}

void TestPageReader::closePartWayReturnsThePart()
{
    ScriptedHttpServer server;
    server.enqueue({ Action::send(ScriptedHttpServer::head(200, 1000)), Action::send("abc"), Action::wait(20),
        Action::send("def"), Action::close() });
    RecordingNotifier notifier;
    CPageReader reader(notifier);
    QCOMPARE(reader.Download(server.url("/").toStdString(), 100'000), std::string("abcdef"));
    QVERIFY(notifier.messages.empty());
}

void TestPageReader::bodyStopsAtTheCeiling()
{
    ScriptedHttpServer server;
    const QByteArray chunk(1024 * 1024, 'x');
    ScriptedHttpServer::Script script { Action::send(ScriptedHttpServer::head(200, -1)) };
    for (int i = 0; i < 20; ++i)
        script.append(Action::send(chunk));
    script.append(Action::close());
    server.enqueue(script);
    HttpGetOptions options;
    const HttpGetResult result = HttpGet(server.url("/").toStdString(), options);
    QCOMPARE(result.outcome, HttpGetResult::Outcome::Truncated);
    QCOMPARE(result.body.size(), options.maxBodyBytes);

    RecordingNotifier notifier;
    CPageReader reader(notifier);
    QCOMPARE(reader.Download(server.url("/").toStdString(), 100'000).size(), size_t(16 * 1024 * 1024));
    QVERIFY(notifier.messages.empty());
}

void TestPageReader::requestCarriesAgentAndNoCache()
{
    ScriptedHttpServer server;
    server.enqueue(ScriptedHttpServer::reply(200, "x"));
    RecordingNotifier notifier;
    CPageReader reader(notifier);
    QCOMPARE(reader.Download(server.url("/detail/stock_quote?Symbol=US:XYZ").toStdString(), 100'000),
        std::string("x"));
    QCOMPARE(server.requests().size(), 1);
    const QByteArray request = server.requests().first();
    QVERIFY2(request.startsWith("GET /detail/stock_quote?Symbol=US:XYZ HTTP/1.1\r\n"), request.constData());
    QVERIFY2(request.contains("\r\nUser-Agent: Microsoft Internet Explorer"), request.constData());
}

QTEST_GUILESS_MAIN(TestPageReader)
#include "tst_pagereader.moc"
