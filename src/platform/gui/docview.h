#pragma once

// A minimal document/view layer: a template makes a document, an MDI child frame and a view.

#include <QObject>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

class QMdiArea;
class QMdiSubWindow;
class CView;
class CDocTemplate;

class CDocument : public QObject {
    Q_OBJECT
public:
    CDocument();
    ~CDocument() override;

    const std::string& GetTitle() const { return m_title; }
    void SetTitle(const std::string& title); // code page 1252; retitles every frame of the document
    void UpdateAllViews(CView* sender);
    const std::vector<CView*>& views() const { return m_views; }
    CDocTemplate* docTemplate() const { return m_template; }

    virtual bool OnNewDocument() { return true; }
    virtual bool OnOpenDocument(const std::string& path);

Q_SIGNALS:
    void titleChanged();

private:
    friend class CView;
    friend class CDocTemplate;
    void addView(CView* view);
    void removeView(CView* view); // the document deletes itself when its last view goes

    std::string m_title;
    std::vector<CView*> m_views;
    CDocTemplate* m_template = nullptr;
};

class CView : public QWidget {
    Q_OBJECT
public:
    explicit CView(CDocument* document);
    ~CView() override;

    CDocument* GetDocument() const { return m_document; }

    // Runs once the view's window exists inside its frame, before the document is initialised;
    // false fails the window's creation.
    virtual bool OnCreate() { return true; }
    virtual void OnInitialUpdate() { OnUpdate(nullptr); }
    virtual void OnUpdate(CView* sender);

    // Command routing: the main frame offers a command to the active view first. A command that
    // no view, frame or application handles is disabled.
    virtual bool HandlesCommand(int commandId) const
    {
        (void)commandId;
        return false;
    }
    virtual void OnCommand(int commandId) { (void)commandId; }

private:
    CDocument* m_document;
};

// Makes document, child frame and view for one kind of window.
class CDocTemplate final {
public:
    using DocumentFactory = std::function<CDocument*()>;
    using FrameFactory = std::function<QMdiSubWindow*()>; // sizes itself by the pending list kind
    using ViewFactory = std::function<CView*(CDocument*)>;

    // docName: the name of new documents and in the New dialog ("Kolpex"), empty for none.
    CDocTemplate(int resourceId, std::string docName, QMdiArea& mdiArea, DocumentFactory makeDocument,
                 FrameFactory makeFrame, ViewFactory makeView);

    int resourceId() const { return m_resourceId; }
    const std::string& docName() const { return m_docName; }

    // Without a path: a new document titled docName plus a running number, its frame and view
    // (OnCreate, OnNewDocument, OnInitialUpdate, then shown). With a path: the document's
    // OnOpenDocument decides; when it returns false no window is left behind. Null on failure.
    CDocument* OpenDocumentFile(const char* path, bool makeVisible = true);

    // Window > New Window: another frame and view on the same document.
    CView* CreateNewWindow(CDocument* document);

private:
    CView* createFrameAndView(CDocument* document, bool makeVisible);
    bool finishView(CView* view, bool makeVisible); // OnInitialUpdate, then shown and activated

    int m_resourceId;
    std::string m_docName;
    QMdiArea& m_mdiArea;
    DocumentFactory m_makeDocument;
    FrameFactory m_makeFrame;
    ViewFactory m_makeView;
    int m_untitledCount = 0;
};
