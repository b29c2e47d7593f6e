#pragma once

#include "app/mainframe.h"

#include <QAbstractNativeEventFilter>
#include <QList>
#include <array>
#include <memory>
#include <vector>

class LockPanes;
class QMenu;

// What LoadFrame builds beyond the members everyone reads.
struct CMainFrame::Parts {
    QList<QMenu*> menus128; // no child or a list window active
    QList<QMenu*> menus129; // a quote window active
    int shownMenu = 0;
    std::vector<QAction*> recentItems; // 57616 ... 57630
    LockPanes* lockPanes = nullptr; // CAPS, NUM, SCRL; the status bar owns them
    bool closePending = false; // asked to close while a fetch was under way
    bool closing = false;
    bool settingTitle = false; // closing the child windows on the way out
    bool centred = false; // the first show centres the frame with its decorations
    QMetaObject::Connection activeTitle; // the active document's title changes
    std::unique_ptr<QAbstractNativeEventFilter> closeRequests; // the window manager's, on X11
};

// The window manager's close request, taken before Qt drops it during a download's message.
std::unique_ptr<QAbstractNativeEventFilter> MakeCloseRequestFilter(CMainFrame& frame);

// Makes the icons and the toolbar strip reachable under ":/kolpex/".
void LoadKolpexResources();

// Menu and toolbar texts of a command: the menu text with its mnemonic.
QString CommandMenuText(int commandId);
