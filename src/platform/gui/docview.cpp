#include "platform/gui/docview.h"

#include "platform/textcodec.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <algorithm>

namespace {

QMdiSubWindow* FrameOf(CView* view)
{
    return qobject_cast<QMdiSubWindow*>(view->parentWidget());
}

} // namespace

CDocument::CDocument() = default;

CDocument::~CDocument() = default;

void CDocument::SetTitle(const std::string& title)
{
    m_title = title;
    const QString base = FromCp1252(title);
    int number = 0;
    for (CView* view : m_views) {
        ++number;
        if (QMdiSubWindow* frame = FrameOf(view)) {
            frame->setWindowTitle(
                m_views.size() > 1 ? base + QLatin1Char(':') + QString::number(number) : base);
        }
    }
    Q_EMIT titleChanged();
}

void CDocument::UpdateAllViews(CView* sender)
{
    const std::vector<CView*> views = m_views; // a view may add or drop views while updating
    for (CView* view : views) {
        if (view != sender)
            view->OnUpdate(sender);
    }
}

bool CDocument::OnOpenDocument(const std::string& path)
{
    (void)path;
    return true;
}

void CDocument::addView(CView* view)
{
    m_views.push_back(view);
}

void CDocument::removeView(CView* view)
{
    std::erase(m_views, view);
    if (m_views.empty()) {
        delete this;
        return;
    }
    SetTitle(m_title); // the remaining frames lose or renumber their ":n"
}

CView::CView(CDocument* document)
    : m_document(document)
{
    if (m_document)
        m_document->addView(this);
}

CView::~CView()
{
    if (m_document)
        m_document->removeView(this);
}

void CView::OnUpdate(CView* sender)
{
    (void)sender;
    update();
}

CDocTemplate::CDocTemplate(int resourceId, std::string docName, QMdiArea& mdiArea,
    DocumentFactory makeDocument, FrameFactory makeFrame, ViewFactory makeView)
    : m_resourceId(resourceId)
    , m_docName(std::move(docName))
    , m_mdiArea(mdiArea)
    , m_makeDocument(std::move(makeDocument))
    , m_makeFrame(std::move(makeFrame))
    , m_makeView(std::move(makeView))
{
}

CDocument* CDocTemplate::OpenDocumentFile(const char* path, bool makeVisible)
{
    CDocument* document = m_makeDocument ? m_makeDocument() : nullptr;
    if (!document)
        return nullptr;
    document->m_template = this;

    // With a path the document decides before any window exists, so a refusal leaves nothing
    // behind (and no view starts fetching for a document that is about to go).
    if (path && !document->OnOpenDocument(path)) {
        delete document;
        return nullptr;
    }

    QPointer<CDocument> guard(document);
    CView* view = createFrameAndView(document, false);
    if (!view) {
        delete guard.data(); // usually gone already with its only view
        return nullptr;
    }
    if (path) {
        document->SetTitle(path);
    } else {
        ++m_untitledCount;
        document->SetTitle(
            m_docName.empty() ? std::string("Untitled") : m_docName + std::to_string(m_untitledCount));
        if (!document->OnNewDocument()) {
            delete FrameOf(view); // takes the view and with it the document
            return nullptr;
        }
    }
    if (!finishView(view, makeVisible) || !guard)
        return nullptr;
    return guard.data();
}

CView* CDocTemplate::CreateNewWindow(CDocument* document)
{
    if (!document)
        return nullptr;
    CView* view = createFrameAndView(document, false);
    if (!view)
        return nullptr;
    document->SetTitle(document->GetTitle()); // numbers the frames "title:1", "title:2"
    return finishView(view, true) ? view : nullptr;
}

bool CDocTemplate::finishView(CView* view, bool makeVisible)
{
    QPointer<CView> guard(view);
    view->OnInitialUpdate();
    if (!guard)
        return false;
    if (makeVisible) {
        if (QMdiSubWindow* frame = FrameOf(view)) {
            frame->show();
            m_mdiArea.setActiveSubWindow(frame);
            view->setFocus();
        }
    }
    return true;
}

CView* CDocTemplate::createFrameAndView(CDocument* document, bool makeVisible)
{
    QMdiSubWindow* frame = m_makeFrame ? m_makeFrame() : nullptr;
    if (!frame)
        return nullptr;
    CView* view = m_makeView ? m_makeView(document) : nullptr;
    if (!view) {
        delete frame;
        return nullptr;
    }
    frame->setWidget(view);
    m_mdiArea.addSubWindow(frame);
    frame->setWindowTitle(FromCp1252(document->GetTitle()));
    // OnCreate may run a modal loop (a failed retrieval's message) in which the window can go.
    QPointer<QMdiSubWindow> frameGuard(frame);
    if (!view->OnCreate() || !frameGuard) {
        delete frameGuard.data();
        return nullptr;
    }
    if (makeVisible) {
        frame->show();
        m_mdiArea.setActiveSubWindow(frame);
    }
    return view;
}
