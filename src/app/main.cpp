#include "app/appwiring.h"
#include "app/kolpexapp.h"
#include "app/mainframe.h"
#include "platform/gui/messageboxnotifier.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/kolpex/icons/kolpex-256.png")));
    MessageBoxNotifier notifier;
    const std::unique_ptr<CKolpexApp> app = MakeKolpexApp(notifier);
    if (!app->InitInstance())
        return 1;
    notifier.setParent(app->mainFrame());
    return RunKolpex(*app);
}
