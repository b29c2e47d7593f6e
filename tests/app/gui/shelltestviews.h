#pragma once

// Stand-in views for the shell's tests: they answer the commands the real views answer, so
// enabling and routing can be checked without network or list files.
#include "app/kolpexapp.h"
#include "app/mainframe.h"
#include "markets/liststate.h"
#include "platform/gui/docview.h"
#include "res/resource_ids.h"

#include <vector>

struct ShellTestLog {
    std::vector<int> kindsAtConstruction;
    std::vector<int> commandsRun;
};
inline ShellTestLog g_shellLog;

class ShellTestView final : public CView {
public:
    ShellTestView(CDocument* document, int handledCommand)
        : CView(document)
        , m_handled(handledCommand)
    {
        g_shellLog.kindsAtConstruction.push_back(g_pendingListKind);
    }
    bool HandlesCommand(int commandId) const override { return commandId == m_handled; }
    void OnCommand(int commandId) override { g_shellLog.commandsRun.push_back(commandId); }

private:
    int m_handled;
};

inline CKolpexApp::ViewFactory QuoteTestViews()
{
    return [](CDocument* d, CMainFrame&) -> CView* { return new ShellTestView(d, ids::ID_PROPERTIES); };
}

inline CKolpexApp::ViewFactory ListTestViews()
{
    return [](CDocument* d, CMainFrame&) -> CView* { return new ShellTestView(d, ids::ID_FIND_IN_LIST); };
}

// Settings go to a directory of the test's own; QSettings reads the location once per process.
#define KOLPEX_SHELL_TEST_MAIN(TestClass, configDir)                                                         \
    int main(int argc, char** argv)                                                                          \
    {                                                                                                        \
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))                                                  \
            qputenv("QT_QPA_PLATFORM", "offscreen");                                                         \
        QTemporaryDir configDir;                                                                             \
        qputenv("XDG_CONFIG_HOME", configDir.path().toLocal8Bit());                                          \
        qputenv("KOLPEX_QUOTE_SERVICE", "http://127.0.0.1:9");                                               \
        QApplication application(argc, argv);                                                                \
        TestClass test(configDir.path());                                                                    \
        return QTest::qExec(&test, argc, argv);                                                              \
    }
