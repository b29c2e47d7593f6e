#include "app/kolpexapp.h"

#include "app/aboutdialog.h"
#include "app/childframe.h"
#include "app/mainframe.h"
#include "app/newdialog.h"
#include "markets/gui/ckolpexdoc.h"
#include "markets/recententry.h"
#include "platform/notifier.h"
#include "platform/recentfilelist.h"
#include "platform/textcodec.h"
#include "res/resource_ids.h"
#include "res/strings.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPageSetupDialog>
#include <QPrinter>
#include <QSettings>
#include <cstdio>

namespace {

// The printer the set-up dialog configures; kept for the life of the process like the
// framework's own printer settings.
QPrinter& SetupPrinter()
{
    static QPrinter printer;
    return printer;
}

int CountWindowsOf(const CMainFrame& frame, const CDocTemplate* docTemplate)
{
    int count = 0;
    const auto windows = frame.mdiArea()->subWindowList();
    for (QMdiSubWindow* window : windows) {
        auto* view = qobject_cast<CView*>(window->widget());
        if (view && view->GetDocument() && view->GetDocument()->docTemplate() == docTemplate)
            ++count;
    }
    return count;
}

} // namespace

CKolpexApp::CKolpexApp(Notifier& notifier, ViewFactory makeQuoteView, ViewFactory makeListView)
    : m_notifier(notifier)
    , m_makeQuoteView(std::move(makeQuoteView))
    , m_makeListView(std::move(makeListView))
    , m_recentFiles(std::make_unique<RecentFileList>(RecentFileList::kDefaultSize))
{
}

CKolpexApp::~CKolpexApp() = default; // the frame goes first and takes every child window with it

bool CKolpexApp::InitInstance()
{
    // Everything below needs a windowing system; without one there is nothing to start.
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        m_notifier.showMessage(std::string(strings::kStartupFailed));
        return false;
    }

    {
        QSettings settings(QStringLiteral("Tarrindel"), QStringLiteral("Kolpex"));
        m_recentFiles->Load(settings);
    }

    // The frame object exists before the templates because they create their windows in its
    // MDI area; it is loaded (menus, toolbar, status bar) only after they are registered.
    m_mainFrame = std::make_unique<CMainFrame>(*this, m_notifier);
    CMainFrame& frame = *m_mainFrame;
    auto makeDocument = [&frame]() -> CDocument* { return new CKolpexDoc(frame); };
    auto makeFrame = [&frame]() -> QMdiSubWindow* {
        auto* child = new CChildFrame;
        QObject::connect(&frame, &CMainFrame::quoteFetchEnded, child, &CChildFrame::closeIfAsked);
        return child;
    };

    m_quoteTemplate = std::make_unique<CDocTemplate>(ids::IDR_KOLPEXTYPE, std::string("Kolpex"),
        *frame.mdiArea(), makeDocument, makeFrame, [this, &frame](CDocument* document) {
            return m_makeQuoteView ? m_makeQuoteView(document, frame) : nullptr;
        });
    m_pQuoteTemplate = m_quoteTemplate.get();

    m_listTemplate = std::make_unique<CDocTemplate>(ids::IDR_LISTTYPE, std::string(), *frame.mdiArea(),
        makeDocument, makeFrame, [this, &frame](CDocument* document) {
            return m_makeListView ? m_makeListView(document, frame) : nullptr;
        });
    m_pListTemplate = m_listTemplate.get();

    if (!frame.LoadFrame())
        return false;
    frame.show();
    frame.repaint();
    return true;
}

void CKolpexApp::ExitInstance()
{
    QSettings settings(QStringLiteral("Tarrindel"), QStringLiteral("Kolpex"));
    m_recentFiles->Save(settings);
    // The print preview's page count lives beside the list; writing it back (0 until a preview
    // sets it) also makes sure the store exists after the first run.
    const QString previewPages = QStringLiteral("Settings/PreviewPages");
    settings.setValue(previewPages, settings.value(previewPages, 0).toInt());
    settings.sync();
    if (settings.status() != QSettings::NoError) {
        // The windows are gone by now; standard error is the log a desktop session keeps.
        std::fprintf(stderr, "Kolpex: the recent file list could not be saved to %s: %s\n",
            QFile::encodeName(settings.fileName()).constData(),
            settings.status() == QSettings::AccessError ? "the file or its directory is not writable"
                                                        : "the file is not in the settings format");
        std::fflush(stderr);
    }
}

void CKolpexApp::AddToRecentFileList(const std::string& text)
{
    m_recentFiles->Add(QDir::currentPath() + QLatin1String(kRecentEntrySeparator) + FromCp1252(text));
    if (m_mainFrame)
        m_mainFrame->updateCommandEnabling();
}

void CKolpexApp::OnFileNew()
{
    std::vector<CDocTemplate*> named;
    QStringList names;
    for (CDocTemplate* t : { m_pQuoteTemplate, m_pListTemplate }) {
        if (t && !t->docName().empty()) {
            named.push_back(t);
            names.append(FromCp1252(t->docName()));
        }
    }
    if (named.empty())
        return;
    const int choice = NewDialog::Choose(names, m_mainFrame.get());
    if (choice < 0 || choice >= static_cast<int>(named.size()))
        return;
    named[static_cast<std::size_t>(choice)]->OpenDocumentFile(nullptr);
}

void CKolpexApp::OnFileOpen()
{
    const QString path = QFileDialog::getOpenFileName(
        m_mainFrame.get(), QStringLiteral("Open"), QString(), QStringLiteral("All Files (*)"));
    if (path.isEmpty() || !m_pQuoteTemplate)
        return;
    m_pQuoteTemplate->OpenDocumentFile(ToCp1252(path).c_str());
}

void CKolpexApp::OnOpenRecentFile(int index)
{
    if (index < 0 || index >= m_recentFiles->size() || !m_pQuoteTemplate || !m_mainFrame)
        return;
    const QString entry = m_recentFiles->entries().at(index);
    // The document only reopens the quote and never stays itself, so success shows as one
    // more quote window. Removing by text, not index: a reopen moves entries around.
    const int before = CountWindowsOf(*m_mainFrame, m_pQuoteTemplate);
    m_pQuoteTemplate->OpenDocumentFile(ToCp1252(entry).c_str());
    if (CountWindowsOf(*m_mainFrame, m_pQuoteTemplate) <= before)
        m_recentFiles->RemoveEntry(entry);
    else if (entry != m_recentFiles->entries().front()
        && FromCp1252(RecentEntryInCurrentForm(ToCp1252(entry))) == m_recentFiles->entries().front())
        m_recentFiles->RemoveEntry(entry); // an earlier release's entry, now stored in this one's form
    m_mainFrame->updateCommandEnabling();
}

void CKolpexApp::OnFilePrintSetup()
{
    QPageSetupDialog dialog(&SetupPrinter(), m_mainFrame.get());
    dialog.exec();
}

void CKolpexApp::OnAppAbout()
{
    AboutDialog dialog(m_mainFrame.get());
    dialog.exec();
}
