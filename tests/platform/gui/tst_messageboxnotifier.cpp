// A message box shows the ordinary pointer over a failed operation's wait cursor, and gives the
// wait cursor back when it closes.

#include "platform/gui/messageboxnotifier.h"
#include "platform/waitcursor.h"

#include <QApplication>
#include <QCursor>
#include <QLabel>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

class TestMessageBoxNotifier final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void boxShowsThePointerAndRestoresTheWaitCursor()
    {
        MessageBoxNotifier notifier;
        int overridesWhileShowing = -1;
        QString shownText;
        QTimer::singleShot(0, this, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            shownText = box->text();
            overridesWhileShowing = QGuiApplication::overrideCursor() ? 1 : 0;
            box->accept();
        });
        {
            WaitCursor outer;
            WaitCursor inner;
            notifier.showMessage("Sorry, no data available for:\n\n XYZ US.");
            QVERIFY(QGuiApplication::overrideCursor());
            QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
        }
        QCOMPARE(overridesWhileShowing, 0);
        QCOMPARE(shownText, QStringLiteral("Sorry, no data available for:\n\n XYZ US."));
        // Both wait cursors were given back: the two scopes took them down again, no more.
        QVERIFY(!QGuiApplication::overrideCursor());
    }

    void reasonIsTheBoxsDetail()
    {
        MessageBoxNotifier notifier;
        QString text, details;
        QTimer::singleShot(0, this, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            text = box->text();
            details = box->detailedText();
            box->accept();
        });
        notifier.showMessageWithDetails("Sorry, no data available for:\n\n XYZ US.",
            "every source failed: yahoo: cookie: host not found; cnbc: quote: host not found");
        QCOMPARE(text, QStringLiteral("Sorry, no data available for:\n\n XYZ US."));
        QCOMPARE(details,
            QStringLiteral(
                "every source failed: yahoo: cookie: host not found; cnbc: quote: host not found"));
    }
};

QTEST_MAIN(TestMessageBoxNotifier)
#include "tst_messageboxnotifier.moc"
