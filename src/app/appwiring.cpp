#include "app/appwiring.h"

#include "app/demoscript.h"
#include "app/kolpexapp.h"
#include "app/mainframe.h"
#include "app/sessionexit.h"
#include "markets/gui/clistview.h"
#include "quotewin/gui/ckolpexview.h"

#include <QApplication>

std::unique_ptr<CKolpexApp> MakeKolpexApp(Notifier& notifier)
{
    return std::make_unique<CKolpexApp>(
        notifier,
        [](CDocument* document, CMainFrame& frame) -> CView* { return new CKolpexView(document, frame); },
        [](CDocument* document, CMainFrame& frame) -> CView* { return new CListView_(document, frame); });
}

int RunKolpex(CKolpexApp& app)
{
    if (app.mainFrame()) {
        EndWithTheSession(*app.mainFrame());
        RunDemoScriptIfRequested(*app.mainFrame());
    }
    const int status = QApplication::exec();
    app.ExitInstance();
    return ExitStatusAfterSession(status);
}
