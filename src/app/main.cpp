#include "app/appwiring.h"
#include "app/kolpexapp.h"
#include "app/mainframe.h"
#include "platform/gui/messageboxnotifier.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char** argv)
{
    // The shell matches windows to kolpex.desktop by these whatever the binary is called (the
    // package installs it as kolpex-gui): WM_CLASS on X11 (instance and class), the app id on Wayland.
    if (!qEnvironmentVariableIsSet("RESOURCE_NAME"))
        qputenv("RESOURCE_NAME", "kolpex");
    QCoreApplication::setApplicationName(QStringLiteral("kolpex"));
    QGuiApplication::setDesktopFileName(QStringLiteral("kolpex"));
    QApplication application(argc, argv);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/kolpex/icons/kolpex-256.png")));
    MessageBoxNotifier notifier;
    const std::unique_ptr<CKolpexApp> app = MakeKolpexApp(notifier);
    if (!app->InitInstance())
        return 1;
    notifier.setParent(app->mainFrame());
    return RunKolpex(*app);
}
