// The program as a blind user meets it: Orca 43 speaking through a speech-dispatcher whose only
// voice writes each utterance to a file, on a session bus and an X server of the test's own,
// the program driven by keys alone (the demo script only opens the list and makes refreshes come
// every two seconds) against a market whose clock runs 30 times as fast. One table: the keys of
// each step, in order, and what Orca must say after them (tests/e2e/scripts/orca_listen.py).
#include "support/desktopsession.h"
#include "support/serviceprocess.h"

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>
#include <QTimeZone>

namespace {

struct Step {
    const char* name;
    const char* keys; // xdotool runs, separated by ';' (none: just listen)
    double listenSeconds;
    const char* said; // what the step's speech must match, all utterances joined by " | "
};

// The first row of NASDAQ sorted by company is 10x Genomics (TXG).
const Step kSteps[] = {
    { "Enter opens the first row's quote: its title, then the chart's summary", "key Return", 5,
        "10x Genomics Inc \\(simulated\\).*Line chart of 10x Genomics.*Last value \\d+\\.\\d\\d" },
    { "Down: the first info line, caption with figure", "key Down", 1.5, "Last: \\d+\\.\\d\\d" },
    { "Down: the change", "key Down", 1.5, "Diff\\.: [-+]\\d+\\.\\d\\d \\([-+]\\d+\\.\\d\\d%\\)" },
    { "End: the last line", "key End", 1.5, "Delayed: \\d+ minutes" },
    { "Up: the line before", "key Up", 1.5, "Beta: \\d+\\.\\d\\d" },
    { "a moving market: each refresh heard once, price and change", "", 7,
        "^notification \\| TXG \\d+\\.\\d\\d, [-+]\\d+\\.\\d\\d\\.?( \\| notification \\| TXG \\d+\\.\\d\\d, "
        "[-+]\\d+\\.\\d\\d\\.?)+$" },
    { "Tab: the next item, within the quote", "key Tab", 1.5, "Delayed: \\d+ minutes" },
    { "Shift+Tab: the one before", "key shift+Tab", 1.5, "Beta: \\d+\\.\\d\\d" },
    { "Ctrl+F6: the list window; the quote, now inactive, stays silent", "key ctrl+F6", 6,
        "^left control \\| NASDAQ \\| NASDAQ\\. \\| table with \\d+ rows 4 columns\\.$" },
    { "the status bar: the message pane's text and the lock states",
        "key Down;keydown Insert key KP_Enter key KP_Enter keyup Insert", 2,
        "Line: 2 / \\d+.*Caps Lock off.*Num Lock off.*Scroll Lock off" },
    { "Ctrl+F6 leads back into the quote", "key ctrl+F6", 2, "Beta: \\d+\\.\\d\\d" },
    { "flat review reads the line where it stands", "key KP_Up", 1.5, "Beta: \\d+\\.\\d\\d" },
    { "and the next line, caption with figure", "key KP_Page_Up", 1.5, "Delayed: \\d+ minutes" },
};

} // namespace

class TestScreenReader final : public QObject {
    Q_OBJECT

    QString m_skip;
    QJsonArray m_said; // per step, the utterances

private Q_SLOTS:
    void initTestCase()
    {
        m_skip
            = DesktopSession::Missing({ QStringLiteral("orca"), QStringLiteral("speech-dispatcher") }, false);
        if (m_skip.isEmpty()
            && !QFile::exists(QStringLiteral("/usr/lib/speech-dispatcher-modules/sd_generic")))
            m_skip = QStringLiteral("speech-dispatcher's generic module");
        if (!m_skip.isEmpty()) {
            m_skip += QStringLiteral(" is missing: cannot run Orca");
            return;
        }
        DesktopSession session;
        if (!session.startX()) {
            m_skip = QStringLiteral("no X server of the test's own could be started");
            return;
        }
        QVERIFY2(
            session.prepare("market NASDAQ\nrefresh-every 2000\nwait 300000\n"), qPrintable(session.error()));
        QVERIFY(QFile::copy(QStringLiteral(KOLPEX_DATA_DIR "/NASDAQ.TXT"), session.in("work/NASDAQ.TXT")));
        QJsonArray steps;
        for (const Step& step : kSteps)
            steps.append(QJsonObject { { QStringLiteral("keys"),
                                           QJsonArray::fromStringList(QString::fromLatin1(step.keys).split(
                                               QLatin1Char(';'), Qt::SkipEmptyParts)) },
                { QStringLiteral("wait"), step.listenSeconds } });
        QFile stepsFile(session.in("steps.json"));
        QVERIFY(stepsFile.open(QIODevice::WriteOnly) && stepsFile.write(QJsonDocument(steps).toJson()) > 0);
        stepsFile.close();

        // Half an hour into a trading day, a minute of market every two seconds.
        const qint64 open = QDateTime(QDate(2026, 2, 10), QTime(15, 0), QTimeZone::utc()).toSecsSinceEpoch();
        QuoteServiceProcess service;
        QVERIFY2(service.start(
                     { QStringLiteral("--lists"), QStringLiteral(KOLPEX_DATA_DIR), QStringLiteral("--now"),
                         QString::number(open), QStringLiteral("--rate"), QStringLiteral("30") }),
            qPrintable(service.error()));

        const QJsonObject heard = session.run(service.url(), {}, "tests/e2e/scripts/orca_listen.py",
            { QStringLiteral(KOLPEX_APP_BIN), stepsFile.fileName() }, 200'000);
        QVERIFY2(!heard.isEmpty(), qPrintable(session.error()));
        m_said = heard[u"steps"].toArray();
        QCOMPARE(m_said.size(), qsizetype(std::size(kSteps)));
    }

    void orcaSays_data()
    {
        QTest::addColumn<int>("step");
        for (int i = 0; i < int(std::size(kSteps)); ++i)
            QTest::newRow(kSteps[i].name) << i;
    }
    void orcaSays()
    {
        if (!m_skip.isEmpty())
            QSKIP(qPrintable(m_skip));
        QFETCH(int, step);
        QStringList said;
        for (const QJsonValue& utterance : m_said.at(step).toArray())
            said << utterance.toString().simplified();
        const QString joined = said.join(QStringLiteral(" | "));
        const QRegularExpression wanted(QString::fromLatin1(kSteps[step].said));
        QVERIFY2(wanted.match(joined).hasMatch(), qPrintable(QStringLiteral("heard: ") + joined));
    }
};

QTEST_GUILESS_MAIN(TestScreenReader)
#include "tst_screenreader.moc"
