#pragma once

#include <string>

class CDocTemplate;
class RecentFileList;

// What the main frame asks of the application object: its two templates, its recent-file list
// and the commands it handles. CKolpexApp is one; the frame needs to know no more of it.
class ApplicationCommands {
public:
    virtual ~ApplicationCommands() = default;

    virtual CDocTemplate* quoteTemplate() const = 0;
    virtual CDocTemplate* listTemplate() const = 0;
    virtual RecentFileList& recentFiles() = 0;
    // Adds "<current directory>/./<text>" to the recent-file list (moving it to the top).
    virtual void AddToRecentFileList(const std::string& text) = 0;

    virtual void OnFileNew() = 0;
    virtual void OnFileOpen() = 0;
    virtual void OnOpenRecentFile(int index) = 0; // 0-based
    virtual void OnFilePrintSetup() = 0;
    virtual void OnAppAbout() = 0;
};
