#pragma once

#include "app/appcommands.h"
#include "platform/gui/docview.h"

#include <functional>
#include <memory>
#include <string>

class CMainFrame;
class Notifier;
class RecentFileList;

// The application object: settings store, recent-file list, the two templates, the main frame.
class CKolpexApp final : public ApplicationCommands {
public:
    using ViewFactory = std::function<CView*(CDocument*, CMainFrame&)>;

    CKolpexApp(Notifier& notifier, ViewFactory makeQuoteView, ViewFactory makeListView);
    ~CKolpexApp() override;

    // Start-up in its order; false when the program must exit.
    bool InitInstance();
    // Saves the recent-file list (the framework's exit sequence).
    void ExitInstance();

    CDocTemplate* m_pQuoteTemplate = nullptr;
    CDocTemplate* m_pListTemplate = nullptr;

    CMainFrame* mainFrame() const { return m_mainFrame.get(); }

    // ApplicationCommands
    CDocTemplate* quoteTemplate() const override { return m_pQuoteTemplate; }
    CDocTemplate* listTemplate() const override { return m_pListTemplate; }
    RecentFileList& recentFiles() override { return *m_recentFiles; }
    void AddToRecentFileList(const std::string& text) override;
    void OnFileNew() override;
    void OnFileOpen() override;
    void OnOpenRecentFile(int index) override;
    void OnFilePrintSetup() override;
    void OnAppAbout() override;

private:
    Notifier& m_notifier;
    ViewFactory m_makeQuoteView;
    ViewFactory m_makeListView;
    std::unique_ptr<RecentFileList> m_recentFiles;
    std::unique_ptr<CDocTemplate> m_quoteTemplate;
    std::unique_ptr<CDocTemplate> m_listTemplate;
    std::unique_ptr<CMainFrame> m_mainFrame;
};
