#include "app/aboutdialog.h"
#include "app/childframe.h"
#include "app/kolpexapp.h"
#include "app/mainframe.h"
#include "app/newdialog.h"
#include "markets/gui/cdia_find.h"
#include "markets/gui/cdia_findworldwide.h"
#include "markets/liststate.h"
#include "platform/notifier.h"
#include "platform/recentfilelist.h"
#include "shelltestviews.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

class TestStartup : public QObject {
    Q_OBJECT
public:
    explicit TestStartup(const QString& configDir)
        : m_configDir(configDir)
    {
    }

private Q_SLOTS:
    void init();
    void firstStartHasEmptyList();
    void fifteenMostRecentSurviveRestart();
    void newCommand();
    void childFrameSizes_data();
    void childFrameSizes();
    void aboutBox();
    void dialogSizes_data();
    void dialogSizes();

private:
    std::unique_ptr<CKolpexApp> start();
    QString settingsFile() const { return m_configDir + QStringLiteral("/Tarrindel/Kolpex.conf"); }
    QString m_configDir;
    RecordingNotifier m_notifier;
};

std::unique_ptr<CKolpexApp> TestStartup::start()
{
    auto app = std::make_unique<CKolpexApp>(m_notifier, QuoteTestViews(), ListTestViews());
    if (!app->InitInstance())
        return nullptr;
    return app;
}

void TestStartup::init()
{
    QFile::remove(settingsFile());
    QSettings().sync();
    g_pendingListKind = 1;
    m_notifier.messages.clear();
}

void TestStartup::firstStartHasEmptyList()
{
    QVERIFY(!QFile::exists(settingsFile()));
    auto app = start();
    QVERIFY(app);
    QCOMPARE(app->recentFiles().size(), 0);
    QVERIFY(app->mainFrame()->isVisible());
    QVERIFY(app->mainFrame()->mdiArea()->subWindowList().isEmpty()); // no document at start
    QCOMPARE(app->mainFrame()->windowTitle(), QStringLiteral("Kolpex"));
    QVERIFY(!app->mainFrame()->windowIcon().isNull());
    // Only the quote template has a name, so New offers it alone.
    QVERIFY(app->m_pQuoteTemplate && app->m_pListTemplate);
    QCOMPARE(app->m_pListTemplate->docName(), std::string());
    app->ExitInstance();
    app.reset();
    QVERIFY(QFile::exists(settingsFile())); // created at exit
    QVERIFY(m_notifier.messages.empty());
}

void TestStartup::fifteenMostRecentSurviveRestart()
{
    {
        auto app = start();
        QVERIFY(app);
        for (int i = 1; i <= 16; ++i)
            app->AddToRecentFileList("Company " + std::to_string(i) + " (US, S" + std::to_string(i) + ")");
        QCOMPARE(app->recentFiles().size(), 15);
        app->ExitInstance();
    }
    QSettings settings(QStringLiteral("Tarrindel"), QStringLiteral("Kolpex"));
    const QString prefix = QDir::currentPath() + QStringLiteral("/./");
    QCOMPARE(settings.value(QStringLiteral("Recent File List/File1")).toString(),
        prefix + QStringLiteral("Company 16 (US, S16)"));
    QCOMPARE(settings.value(QStringLiteral("Recent File List/File15")).toString(),
        prefix + QStringLiteral("Company 2 (US, S2)"));
    QVERIFY(!settings.contains(QStringLiteral("Recent File List/File16")));

    auto again = start();
    QVERIFY(again);
    QCOMPARE(again->recentFiles().size(), 15);
    QCOMPARE(again->recentFiles().entries().front(), prefix + QStringLiteral("Company 16 (US, S16)"));
    QCOMPARE(again->recentFiles().entries().back(), prefix + QStringLiteral("Company 2 (US, S2)"));
}

void TestStartup::newCommand()
{
    auto app = start();
    NewDialog::setNextAnswer(-1); // Cancel
    app->mainFrame()->runCommand(ids::ID_FILE_NEW);
    QVERIFY(app->mainFrame()->mdiArea()->subWindowList().isEmpty());

    NewDialog::setNextAnswer(0); // "Kolpex"
    app->mainFrame()->runCommand(ids::ID_FILE_NEW);
    const auto windows = app->mainFrame()->mdiArea()->subWindowList();
    QCOMPARE(windows.size(), 1);
    QCOMPARE(windows[0]->windowTitle(), QStringLiteral("Kolpex1"));
    auto* view = qobject_cast<CView*>(windows[0]->widget());
    QCOMPARE(view->GetDocument()->docTemplate(), app->m_pQuoteTemplate);
    QCOMPARE(g_pendingListKind, 1); // New leaves the pending kind alone: an inert first window
    // The framework's default size is a window to work in, not a bare title bar, inside the area.
    const QRect area = app->mainFrame()->mdiArea()->viewport()->rect();
    QVERIFY2(view->width() >= 300 && view->height() >= 200,
        qPrintable(QStringLiteral("%1 x %2").arg(view->width()).arg(view->height())));
    QVERIFY(area.contains(windows[0]->geometry()));

    // The dialog offers only the named template.
    NewDialog dialog({ QStringLiteral("Kolpex") }, nullptr);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("New"));
    QCOMPARE(dialog.chosenIndex(), 0);
}

void TestStartup::childFrameSizes_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QSize>("size");
    QTest::newRow("quote") << 0 << QSize(400, 620);
    QTest::newRow("before any window") << 1 << QSize();
    QTest::newRow("search results") << 2 << QSize(320, 200);
    QTest::newRow("NYSE") << 3 << QSize(262, 550);
    QTest::newRow("MUTUAL") << 9 << QSize(262, 550);
    QTest::newRow("beyond") << 10 << QSize();
    QTest::newRow("negative") << -1 << QSize();
}

void TestStartup::childFrameSizes()
{
    QFETCH(int, kind);
    QFETCH(QSize, size);
    QCOMPARE(ChildFrameSizeFor(kind), size);
    g_pendingListKind = kind;
    CChildFrame frame;
    if (size.isValid())
        QCOMPARE(frame.size(), size);
    QVERIFY(frame.testAttribute(Qt::WA_DeleteOnClose));
}

void TestStartup::aboutBox()
{
    AboutDialog about(nullptr);
    QCOMPARE(about.windowTitle(), QStringLiteral("About Kolpex"));
    auto* version = about.findChild<QLabel*>(QStringLiteral("versionLabel"));
    QVERIFY(version);
    QCOMPARE(version->text(), QStringLiteral("Kolpex Version 1.0"));
    auto* icon = about.findChild<QLabel*>(QStringLiteral("iconLabel"));
    QVERIFY(icon && !icon->pixmap().isNull());
    const auto buttons = about.findChildren<QPushButton*>();
    QCOMPARE(buttons.size(), 1);
    QCOMPARE(buttons[0]->text(), QStringLiteral("OK"));
    about.show();
    QTest::mouseClick(buttons[0], Qt::LeftButton);
    QCOMPARE(about.result(), int(QDialog::Accepted));
    QVERIFY(!about.isVisible());
}

KOLPEX_SHELL_TEST_MAIN(TestStartup, configDir)
#include "tst_startup.moc"

void TestStartup::dialogSizes_data()
{
    QTest::addColumn<QString>("which");
    QTest::addColumn<QSize>("units");
    QTest::newRow("About") << QStringLiteral("about") << QSize(180, 62);
    QTest::newRow("Find a Quote") << QStringLiteral("find") << QSize(215, 97);
    QTest::newRow("Find Quote Worldwide") << QStringLiteral("worldwide") << QSize(186, 90);
}

void TestStartup::dialogSizes()
{
    QFETCH(QString, which);
    QFETCH(QSize, units);
    std::unique_ptr<QDialog> dialog;
    if (which == QStringLiteral("about"))
        dialog = std::make_unique<AboutDialog>(nullptr);
    else if (which == QStringLiteral("find"))
        dialog = std::make_unique<CDia_Find>(nullptr);
    else
        dialog = std::make_unique<CDia_FindWorldwide>(m_notifier, nullptr);
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));

    // A dialog unit: a quarter of the average letter width across, an eighth of the height down.
    const QFontMetrics metrics(dialog->font());
    const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const double average = metrics.horizontalAdvance(letters) / 52.0;
    const QSize wanted(int(units.width() * average / 4), units.height() * metrics.height() / 8);
    const QSize got = dialog->size();
    const QString sizes = QStringLiteral("%1 x %2, wanted %3 x %4")
                              .arg(got.width())
                              .arg(got.height())
                              .arg(wanted.width())
                              .arg(wanted.height());
    QVERIFY2(qAbs(got.width() - wanted.width()) <= units.width() / 8 + 1, qPrintable(sizes));
    QVERIFY2(got.height() >= wanted.height() - units.height() / 8 - 1, qPrintable(sizes));
    // Room for the title beside a window manager's icon and three buttons.
    const int title = QFontMetrics(QApplication::font()).horizontalAdvance(dialog->windowTitle());
    QVERIFY2(got.width() >= title + 4 * metrics.height() + 24, qPrintable(sizes));
}
