#pragma once

#include "platform/gui/docview.h"

#include <functional>
#include <memory>
#include <string>

class CMainFrame;
class Notifier;
class RecentFileList;

// The application object: settings store, recent-file list, the two templates, the main frame.
class CKolpexApp final {
public:
    using ViewFactory = std::function<CView*(CDocument*, CMainFrame&)>;

    CKolpexApp(Notifier& notifier, ViewFactory makeQuoteView, ViewFactory makeListView);
    ~CKolpexApp();

    // Start-up in its order; false when the program must exit.
    bool InitInstance();
    // Saves the recent-file list (the framework's exit sequence).
    void ExitInstance();

    CDocTemplate* m_pQuoteTemplate = nullptr;
    CDocTemplate* m_pListTemplate = nullptr;

    CMainFrame* mainFrame() const { return m_mainFrame.get(); }
    RecentFileList& recentFiles() { return *m_recentFiles; }

    // Adds "<current directory>/<text>" to the recent-file list (moving it to the top).
    void AddToRecentFileList(const std::string& text);

    void OnFileNew();
    void OnFileOpen();
    void OnOpenRecentFile(int index); // 0-based
    void OnFilePrintSetup();
    void OnAppAbout();

private:
    Notifier& m_notifier;
    ViewFactory m_makeQuoteView;
    ViewFactory m_makeListView;
    std::unique_ptr<RecentFileList> m_recentFiles;
    std::unique_ptr<CDocTemplate> m_quoteTemplate;
    std::unique_ptr<CDocTemplate> m_listTemplate;
    std::unique_ptr<CMainFrame> m_mainFrame;
};
