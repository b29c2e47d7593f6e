// The installed program as a screen reader and the desktop shell meet it: run under its installed
// name on an X server of the test's own, in a session bus of its own with the accessibility bus,
// driven by keys alone, read back through AT-SPI by tests/e2e/scripts/a11y_readquote.py.
#include "support/desktopsession.h"
#include "support/serviceprocess.h"

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>
#include <QTimeZone>

namespace {

QString Fixed(const QJsonValue& value)
{
    return QString::number(value.toDouble(), 'f', 2);
}

} // namespace

class TestAccessibility final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void quoteReadByKeyboardAndScreenReader()
    {
        if (const QString missing = DesktopSession::Missing({ QStringLiteral("xprop") }, true);
            !missing.isEmpty())
            QSKIP(qPrintable(missing + QStringLiteral(" is missing: cannot run the program under AT-SPI")));
        DesktopSession session;
        if (!session.startX())
            QSKIP("no X server of the test's own could be started");
        // Keys do the rest; the script only makes the quote refresh every 1.5 s instead of 5 minutes
        // and keeps the program open meanwhile (the reader ends it).
        QVERIFY2(session.prepare("refresh-every 1500\nwait 150000\n"), qPrintable(session.error()));
        QVERIFY(QFile::copy(QStringLiteral(KOLPEX_DATA_DIR "/NASDAQ.TXT"), session.in("work/NASDAQ.TXT")));
        // The name the package installs the program under, which is not the desktop file's.
        QVERIFY(QFile::link(QStringLiteral(KOLPEX_APP_BIN), session.in("kolpex-gui")));

        const qint64 now = QDateTime(QDate(2026, 2, 10), QTime(16, 0), QTimeZone::utc()).toSecsSinceEpoch();
        const QStringList serviceArguments { QStringLiteral("--lists"), QStringLiteral(KOLPEX_DATA_DIR),
            QStringLiteral("--now"), QString::number(now) };
        QuoteServiceProcess service;
        QVERIFY2(service.start(serviceArguments), qPrintable(service.error()));

        const QJsonObject read = session.run(
            service.url(), {}, "tests/e2e/scripts/a11y_readquote.py", { session.in("kolpex-gui") }, 150'000);
        QVERIFY2(!read.isEmpty(), qPrintable(session.error()));

        // Known to the shell by the desktop file's name, whatever the binary is called.
        QCOMPARE(read[u"wm_class"].toString(), QStringLiteral("WM_CLASS(STRING) = \"kolpex\", \"kolpex\""));
        const QJsonArray row = read[u"row"].toArray();
        QCOMPARE(row.size(), 4);
        const QString symbol = row.at(1).toString();
        const QJsonObject served
            = QuoteServiceProcess::Dump(QStringLiteral("US:") + symbol, serviceArguments);
        QVERIFY2(served[u"found"].toBool(), qPrintable(symbol));
        const QString price = Fixed(served[u"last"]);

        // The window's title says the price is invented; the panel's first line and the view's
        // value both give it.
        QCOMPARE(read[u"quote_name"].toString(), row.at(0).toString() + QStringLiteral(" (simulated)"));
        const QJsonArray lines = read[u"lines"].toArray();
        QCOMPARE(lines.size(), 24);
        QCOMPARE(lines.at(0).toArray().at(0).toString(), QStringLiteral("Last"));
        QCOMPARE(lines.at(0).toArray().at(1).toString(), price);
        QCOMPARE(lines.at(4).toArray().at(0).toString(), QStringLiteral("Day's High"));
        QCOMPARE(lines.at(23).toArray().at(0).toString(), QStringLiteral("Delayed"));
        QCOMPARE(Fixed(read[u"value"]), price);
        // Each line has its own place on screen, one below the other in panel order.
        const QJsonArray tops = read[u"line_tops"].toArray();
        QCOMPARE(tops.size(), 24);
        for (qsizetype i = 1; i < tops.size(); ++i)
            QVERIFY2(tops.at(i).toInt() > tops.at(i - 1).toInt(), qPrintable(QString::number(i)));
        // The chart in words: the series, the last value, the day's high and low, and the quotes'
        // time span (the service's clock stands at 11:00 New York time; a refresh may have come).
        const QString chart = read[u"chart"].toString();
        const QRegularExpression words(
            QStringLiteral("showing Today, Prev\\. day close, Heigh, Low\\. Last value "
                           "%1, day's high %2, day's low %3\\. "
                           "(One quote, at 11:00|\\d+ quotes from 11:00 to 11:00)\\.$")
                .arg(QRegularExpression::escape(price), QRegularExpression::escape(Fixed(served[u"high"])),
                    QRegularExpression::escape(Fixed(served[u"low"]))));
        QVERIFY2(words.match(chart).hasMatch(), qPrintable(chart));
        // The chart is also the view's first item, which the keyboard reaches.
        const QString item = read[u"chart_item"].toString();
        QVERIFY2(words.match(item).hasMatch(), qPrintable(item));
    }
};

QTEST_GUILESS_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
