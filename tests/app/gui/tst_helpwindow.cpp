// The help window: one non-modal instance showing the bundled guide, with working section links.
#include "app/helpwindow.h"

#include <QApplication>
#include <QPushButton>
#include <QScrollBar>
#include <QSet>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>

namespace {

QList<CHelpWindow*> helpWindows()
{
    QList<CHelpWindow*> found;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* window = qobject_cast<CHelpWindow*>(widget))
            found.append(window);
    }
    return found;
}

struct Anchors {
    QStringList hrefs;
    QSet<QString> names;
};

Anchors anchorsOf(const QTextDocument& document)
{
    Anchors anchors;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            if (!format.isAnchor())
                continue;
            if (!format.anchorHref().isEmpty())
                anchors.hrefs.append(format.anchorHref());
            for (const QString& name : format.anchorNames())
                anchors.names.insert(name);
        }
    }
    return anchors;
}

} // namespace

class TestHelpWindow final : public QObject {
    Q_OBJECT

private:
    QWidget* m_frame = nullptr;

private Q_SLOTS:
    void initTestCase()
    {
        m_frame = new QWidget;
        m_frame->resize(800, 750);
        m_frame->show();
    }

    void cleanupTestCase() { delete m_frame; }

    void opensOneNonModalWindow()
    {
        ShowHelpTopics(m_frame);
        QCOMPARE(helpWindows().size(), 1);
        CHelpWindow* window = helpWindows().front();
        QVERIFY(window->isVisible());
        QCOMPARE(window->windowTitle(), QStringLiteral("Kolpex Help"));
        QVERIFY(!window->isModal());
        QCOMPARE(QApplication::activeModalWidget(), nullptr);

        // Asking again, even after the user closed it, brings back the same window.
        window->close();
        QVERIFY(!window->isVisible());
        ShowHelpTopics(m_frame);
        QCOMPARE(helpWindows().size(), 1);
        QCOMPARE(helpWindows().front(), window);
        QVERIFY(window->isVisible());
    }

    void guideLoaded_data()
    {
        QTest::addColumn<QString>("text");
        for (const char* text : { "Kolpex User Guide", "Markets", "Sorting", "Find Qoute in a List", "Ctrl+F",
                 "Find Quote Worldwide", "Today", "Prev. day close", "Heigh", "Low", "Properties",
                 "Write quote data to file", "Stockdata/MM_DD_YYYY_symbol.txt", "The recent list",
                 "KOLPEX_QUOTE_SERVICE", "http://127.0.0.1:8765", "kolpex-quote-service" })
            QTest::newRow(text) << QString::fromLatin1(text);
        for (const char* country : { "Australia", "Belgium", "Canada", "France", "Germany", "Great Britain",
                 "Italy", "Japan", "Netherlands", "Spain", "Sweden", "United States" })
            QTest::newRow(country) << QString::fromLatin1(country);
    }

    void guideLoaded()
    {
        QFETCH(QString, text);
        ShowHelpTopics(m_frame);
        const QTextBrowser* browser = helpWindows().front()->browser();
        QCOMPARE(browser->source(), QUrl(QString::fromLatin1(kUserGuideUrl)));
        QCOMPARE(browser->documentTitle(), QStringLiteral("Kolpex User Guide"));
        QVERIFY2(browser->document()->toPlainText().contains(text), qPrintable(text));
    }

    void dataFileHeaderIsTheFilesOwn()
    {
        ShowHelpTopics(m_frame);
        const QString plain = helpWindows().front()->browser()->document()->toPlainText();
        QVERIFY(plain.contains(
            QStringLiteral("Date\t\tTime\tCurrent\tChange\t\tHigh\tLow\tP/E\tAsk\tBid\tBeta")));
    }

    void sectionLinksResolve()
    {
        ShowHelpTopics(m_frame);
        const Anchors anchors = anchorsOf(*helpWindows().front()->browser()->document());
        QVERIFY(anchors.hrefs.size() >= 12);
        for (const QString& href : anchors.hrefs) {
            QVERIFY2(href.startsWith(QLatin1Char('#')), qPrintable(href));
            QVERIFY2(anchors.names.contains(href.mid(1)), qPrintable(href));
        }
    }

    void showSectionScrolls_data()
    {
        QTest::addColumn<QString>("section");
        QTest::newRow("datafile") << QStringLiteral("datafile");
        QTest::newRow("service") << QStringLiteral("service");
        QTest::newRow("keys") << QStringLiteral("keys");
    }

    void showSectionScrolls()
    {
        QFETCH(QString, section);
        ShowHelpTopics(m_frame);
        QTextBrowser* browser = helpWindows().front()->browser();
        QVERIFY(QTest::qWaitForWindowExposed(helpWindows().front()));
        ShowHelpSection(m_frame, section);
        QCOMPARE(browser->source().fragment(), section);
        QTRY_VERIFY(browser->verticalScrollBar()->value() > 0);

        // Contents goes back to the top of the guide.
        helpWindows().front()->showSection(QString());
        QTRY_COMPARE(browser->verticalScrollBar()->value(), 0);
    }

    void backOnlyWhereTheUserHasBeen()
    {
        qDeleteAll(helpWindows());
        ShowHelpSection(m_frame, QStringLiteral("keys")); // F1 with nothing open yet
        CHelpWindow* window = helpWindows().front();
        QPushButton* back = nullptr;
        for (QPushButton* button : window->findChildren<QPushButton*>())
            if (button->text() == QStringLiteral("&Back"))
                back = button;
        QVERIFY(back);
        QCOMPARE(window->browser()->source().fragment(), QStringLiteral("keys"));
        QVERIFY(!back->isEnabled());
        window->showSection(QStringLiteral("datafile"));
        QVERIFY(back->isEnabled());
        back->click();
        QCOMPARE(window->browser()->source().fragment(), QStringLiteral("keys"));
        QVERIFY(!back->isEnabled());
    }

    void survivesItsParent()
    {
        auto* frame = new QWidget;
        ShowHelpTopics(frame);
        QPointer<CHelpWindow> window = helpWindows().front();
        // The window belongs to the first frame it was opened for; with another frame it is reused.
        QCOMPARE(window->parentWidget(), m_frame);
        delete frame;
        QVERIFY(window);

        delete m_frame;
        m_frame = nullptr;
        QVERIFY(!window); // gone with its parent
        ShowHelpTopics(nullptr);
        QCOMPARE(helpWindows().size(), 1);
        QVERIFY(helpWindows().front()->isVisible());
        delete helpWindows().front();
    }
};

QTEST_MAIN(TestHelpWindow)
#include "tst_helpwindow.moc"
