#pragma once

#include <QDialog>
#include <QUrl>

class QTextBrowser;
class QWidget;

// The bundled user guide, shown by "Help Topics" and F1.
inline constexpr const char* kUserGuideUrl = "qrc:/help/userguide.html";

// Opens the help window on the user guide, or raises it when it is already open: there is one
// help window for the whole program. It is not modal; the program stays usable beside it.
void ShowHelpTopics(QWidget* parent);
// The same, scrolled to one section of the guide ("markets", "properties", "datafile", ...).
void ShowHelpSection(QWidget* parent, const QString& section);

class CHelpWindow final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CHelpWindow)
public:
    explicit CHelpWindow(QWidget* parent);
    ~CHelpWindow() override;

    QTextBrowser* browser() const { return m_browser; }
    void showSection(const QString& section);

private:
    QTextBrowser* m_browser = nullptr;
};
