#include "chart/graph.h"
#include "quote/quoteentry.h"
#include "quotewin/gui/cdia_parameters.h"
#include "support/asanxkb.h"
#include "support/ownxserver.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>

namespace {
bool g_ownXServer = false;
}

class TestDiaParameters final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void controlsAndCaptions()
    {
        CDia_Parameters d;
        QCOMPARE(d.windowTitle(), QStringLiteral("Properties"));
        QStringList groups;
        for (auto* g : d.findChildren<QGroupBox*>())
            groups << g->title();
        QCOMPARE(groups,
            (QStringList { QStringLiteral("Y Axe"), QStringLiteral("X Axe"), QStringLiteral("Graph"),
                QStringLiteral("Ticker") }));
        QCOMPARE(qobject_cast<QCheckBox*>(d.control(507))->text(), QStringLiteral("Autoscale"));
        QCOMPARE(qobject_cast<QCheckBox*>(d.control(508))->text(), QStringLiteral("Show net"));
        QCOMPARE(qobject_cast<QCheckBox*>(d.control(512))->text(), QStringLiteral("Show net"));
        QCOMPARE(qobject_cast<QCheckBox*>(d.control(517))->text(), QStringLiteral("Show marks"));
        QCOMPARE(qobject_cast<QCheckBox*>(d.control(518))->text(), QStringLiteral("Show legend"));
        QCOMPARE(qobject_cast<QCheckBox*>(d.control(520))->text(), QStringLiteral("Time USA ET"));
        QCOMPARE(
            qobject_cast<QCheckBox*>(d.control(519))->text(), QStringLiteral("Write quote data to file"));
        QCOMPARE(qobject_cast<QPushButton*>(d.control(1))->text(), QStringLiteral("OK"));
        QCOMPARE(qobject_cast<QPushButton*>(d.control(2))->text(), QStringLiteral("Cancel"));
        QCOMPARE(d.refreshLabel->text(), QStringLiteral("Refresh every:"));
        QCOMPARE(d.minsLabel->text(), QStringLiteral("mins"));
        QCOMPARE(d.lineWidthLabel->text(), QStringLiteral("Line width:"));
        QStringList items;
        for (int i = 0; i < d.refreshCombo->count(); ++i)
            items << d.refreshCombo->itemText(i);
        QCOMPARE(items.join(QLatin1Char(',')), QStringLiteral("5,10,15,30,60,120"));
        QVERIFY(d.refreshCombo->isEditable());

        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        QVERIFY(!d.xAutoscaleCheck->isVisible());
        QVERIFY(!d.xMinEdit->isVisible() && !d.xMinLabel->isVisible());
        QVERIFY(!d.xDeltaEdit->isVisible() && !d.xDeltaLabel->isVisible());
        QVERIFY(d.xGridCheck->isVisible() && d.yMinEdit->isVisible());
        QVERIFY(!d.yMinEdit->isEnabled() && !d.yDeltaEdit->isEnabled()); // as in the resource
        // three boxes side by side, the ticker box below them, the buttons at the bottom right
        const auto* y = d.yAutoscaleCheck->parentWidget();
        const auto* x = d.xGridCheck->parentWidget();
        const auto* g = d.showMarksCheck->parentWidget();
        const auto* t = d.refreshCombo->parentWidget();
        QVERIFY(y->x() < x->x() && x->x() < g->x());
        QCOMPARE(y->y(), x->y());
        QVERIFY(t->y() > y->geometry().bottom());
        QVERIFY(d.okButton->x() < d.cancelButton->x());
        QVERIFY(d.okButton->y() > t->geometry().bottom());
        QVERIFY(d.refreshCombo->x() < d.easternTimeCheck->x()
            && d.easternTimeCheck->x() < d.writeToFileCheck->x());
    }

    void initFromSettings()
    {
        CGraph chart;
        chart.m_yMin = 9;
        chart.m_yDelta = 0.6;
        chart.m_showMarks = true;
        chart.m_xGrid = false;
        chart.m_lineWidth = 3;
        QuoteEntry entry;
        entry.writeToFile = true;
        entry.easternTime = false;
        entry.refreshInterval = 7;
        CDia_Parameters d;
        d.m_pGraph = &chart;
        d.m_pEntry = &entry;
        d.OnInitDialog();
        QVERIFY(d.showMarksCheck->isChecked());
        QVERIFY(d.showLegendCheck->isChecked());
        QVERIFY(!d.xGridCheck->isChecked());
        QVERIFY(d.yAutoscaleCheck->isChecked());
        QVERIFY(d.yGridCheck->isChecked());
        QCOMPARE(d.lineWidthEdit->text(), QStringLiteral("3"));
        QCOMPARE(d.xMinEdit->text(), QStringLiteral("0.00"));
        QCOMPARE(d.xDeltaEdit->text(), QStringLiteral("10.00"));
        QCOMPARE(d.yMinEdit->text(), QStringLiteral("9.00"));
        QCOMPARE(d.yDeltaEdit->text(), QStringLiteral("0.60"));
        QVERIFY(!d.yMinEdit->isEnabled() && !d.yDeltaEdit->isEnabled());
        QVERIFY(d.writeToFileCheck->isChecked());
        QVERIFY(!d.easternTimeCheck->isChecked());
        QCOMPARE(d.refreshCombo->currentText(), QStringLiteral("7"));

        QVERIFY(!d.focusWidget()); // the dialog picks the initial focus when it is activated
        d.show();
        if (QTest::qWaitForWindowActive(&d)) // not without a window manager under X
            QCOMPARE(d.focusWidget(), static_cast<QWidget*>(d.yAutoscaleCheck)); // the first control
    }

    void autoscaleOffOffersTheFittedScale()
    {
        CGraph chart;
        chart.m_yMin = 9;
        chart.m_yDelta = 0.6;
        QuoteEntry entry;
        CDia_Parameters d;
        d.m_pGraph = &chart;
        d.m_pEntry = &entry;
        d.OnInitDialog();
        chart.m_yMin = 11; // a draw fitted a new scale meanwhile
        d.yAutoscaleCheck->click();
        QVERIFY(d.yMinEdit->isEnabled() && d.yDeltaEdit->isEnabled());
        QCOMPARE(d.yMinEdit->text(), QStringLiteral("11.00"));
        d.yAutoscaleCheck->click();
        QVERIFY(!d.yMinEdit->isEnabled() && !d.yDeltaEdit->isEnabled());
        QCOMPARE(d.yMinEdit->text(), QStringLiteral("11.00")); // texts stay
    }

    void okConverts()
    {
        CGraph chart;
        QuoteEntry entry;
        CDia_Parameters d;
        d.m_pGraph = &chart;
        d.m_pEntry = &entry;
        d.OnInitDialog();
        d.yAutoscaleCheck->click();
        d.yMinEdit->setText(QStringLiteral("12.5abc"));
        d.yDeltaEdit->setText(QStringLiteral("0"));
        d.xMinEdit->setText(QStringLiteral("word")); // hidden, still read
        d.xDeltaEdit->setText(QStringLiteral("0x1A")); // atof reads hexadecimal too
        d.lineWidthEdit->setText(QStringLiteral("-2"));
        d.showLegendCheck->click();
        d.writeToFileCheck->click();
        d.refreshCombo->setEditText(QStringLiteral("0"));
        d.accept();
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QVERIFY(!chart.m_yAutoscale);
        QCOMPARE(chart.m_yMin, 12.5);
        QCOMPARE(chart.m_yDelta, 0.0);
        QCOMPARE(chart.m_xMin, 0.0);
        QCOMPARE(chart.m_xDelta, 26.0);
        QCOMPARE(chart.m_lineWidth, -2);
        QVERIFY(!chart.m_showLegend);
        QVERIFY(entry.writeToFile);
        QCOMPARE(entry.refreshInterval, 1);
    }

    void withoutChart()
    {
        QuoteEntry entry;
        CDia_Parameters d;
        d.m_pEntry = &entry;
        d.OnInitDialog();
        QCOMPARE(d.lineWidthEdit->text(), QString());
        d.yAutoscaleCheck->click();
        d.yAutoscaleCheck->click(); // unchecked again: there is no chart scale to offer
        QVERIFY(!d.yAutoscaleCheck->isChecked());
        QVERIFY(!d.yMinEdit->isEnabled() && !d.yDeltaEdit->isEnabled());
        d.refreshCombo->setEditText(QStringLiteral("15"));
        d.accept();
        QCOMPARE(entry.refreshInterval, 15);
    }

    // Typed on a real keyboard: "1" then Enter. The combo box must not complete it to "10".
    void typedIntervalIsWhatIsTaken()
    {
        if (!g_ownXServer || QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
            QSKIP("no Xvfb or no xdotool to type with");
        QuoteEntry entry;
        CDia_Parameters d;
        d.m_pEntry = &entry;
        d.OnInitDialog();
        d.open();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        d.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&d));
        d.refreshCombo->setFocus();
        d.refreshCombo->lineEdit()->selectAll();
        QCOMPARE(QProcess::execute(QStringLiteral("xdotool"),
                     { QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("80"),
                         QStringLiteral("1") }),
            0);
        QTRY_COMPARE(d.refreshCombo->currentText(), QStringLiteral("1"));
        QCOMPARE(
            QProcess::execute(QStringLiteral("xdotool"), { QStringLiteral("key"), QStringLiteral("Return") }),
            0);
        QTRY_COMPARE(d.result(), int(QDialog::Accepted));
        QCOMPARE(entry.refreshInterval, 1);
    }
};

int main(int argc, char** argv)
{
    RelaxStrictStringChecksForXkb(argv);
    OwnXServer xserver;
    g_ownXServer = xserver.start();
    QApplication application(argc, argv);
    TestDiaParameters test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_cdia_parameters.moc"
