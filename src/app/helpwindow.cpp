#include "app/helpwindow.h"

#include <QHBoxLayout>
#include <QPointer>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

// The guide lives in a static library: without this reference the linker may drop its resource.
static void initHelpResource()
{
    Q_INIT_RESOURCE(help);
}

namespace {

QPointer<CHelpWindow>& theWindow()
{
    static QPointer<CHelpWindow> window;
    return window;
}

CHelpWindow& openWindow(QWidget* parent)
{
    QPointer<CHelpWindow>& window = theWindow();
    if (!window)
        window = new CHelpWindow(parent);
    window->show();
    window->raise();
    window->activateWindow();
    return *window;
}

} // namespace

CHelpWindow::CHelpWindow(QWidget* parent)
    : QDialog(parent)
{
    initHelpResource();
    setWindowTitle(QStringLiteral("Kolpex Help"));
    setModal(false);
    setSizeGripEnabled(true);
    resize(720, 640);

    m_browser = new QTextBrowser(this);
    m_browser->setOpenLinks(true);
    m_browser->setOpenExternalLinks(true);

    auto* contents = new QPushButton(QStringLiteral("&Contents"), this);
    auto* back = new QPushButton(QStringLiteral("&Back"), this);
    auto* forward = new QPushButton(QStringLiteral("&Forward"), this);
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    back->setEnabled(false);
    forward->setEnabled(false);
    for (QPushButton* button : { contents, back, forward, close })
        button->setAutoDefault(false);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(contents);
    buttons->addWidget(back);
    buttons->addWidget(forward);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(m_browser);

    connect(contents, &QPushButton::clicked, this, [this] { showSection(QString()); });
    connect(back, &QPushButton::clicked, m_browser, &QTextBrowser::backward);
    connect(forward, &QPushButton::clicked, m_browser, &QTextBrowser::forward);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    connect(m_browser, &QTextBrowser::backwardAvailable, back, &QPushButton::setEnabled);
    connect(m_browser, &QTextBrowser::forwardAvailable, forward, &QPushButton::setEnabled);

    m_browser->setSource(QUrl(QString::fromLatin1(kUserGuideUrl)));
}

CHelpWindow::~CHelpWindow() = default;

void CHelpWindow::showSection(const QString& section)
{
    QUrl url(QString::fromLatin1(kUserGuideUrl));
    if (!section.isEmpty())
        url.setFragment(section);
    if (url == m_browser->source() && section.isEmpty())
        m_browser->scrollToAnchor(QStringLiteral("top"));
    else
        m_browser->setSource(url);
}

void ShowHelpTopics(QWidget* parent)
{
    openWindow(parent);
}

void ShowHelpSection(QWidget* parent, const QString& section)
{
    const bool fresh = !theWindow();
    CHelpWindow& window = openWindow(parent);
    window.showSection(section);
    // A new window opens at the section: the top of the guide it loaded on the way is no page
    // the user has been to, so Back has nothing to go to yet.
    if (fresh)
        window.browser()->clearHistory();
}
