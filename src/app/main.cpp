#include "app/demoscript.h"
#include "app/kolpexapp.h"
#include "app/mainframe.h"
#include "markets/gui/clistview.h"
#include "platform/gui/messageboxnotifier.h"
#include "quotewin/gui/ckolpexview.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/kolpex/icons/kolpex-256.png")));
    MessageBoxNotifier notifier;
    CKolpexApp app(
        notifier,
        [](CDocument* document, CMainFrame& frame) -> CView* { return new CKolpexView(document, frame); },
        [](CDocument* document, CMainFrame& frame) -> CView* { return new CListView_(document, frame); });
    if (!app.InitInstance())
        return 1;
    notifier.setParent(app.mainFrame());
    RunDemoScriptIfRequested(*app.mainFrame());
    const int status = QApplication::exec();
    app.ExitInstance();
    return status;
}
