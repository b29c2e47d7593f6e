#pragma once

#include "quote/quotewindowhost.h"

#include <QMetaObject>
#include <functional>
#include <string>

class CDocTemplate;
class Notifier;
class QObject;
class QWidget;

// What the child windows (list view, quote view) and the worldwide search need of the main frame.
// The main frame implements it; the windows never see the frame itself.
class ChildWindowHost : public QuoteWindowHost {
public:
    // The frame's quote manager; never null here.
    CQuoteManager* quoteManager() override = 0;
    virtual const QuoteEntry& defaultEntry() const = 0; // m_defaultEntry
    virtual Notifier& notifier() = 0;
    // The parent of the dialogs a child window opens.
    virtual QWidget* dialogParent() = 0;
    // The template that makes list windows (search results); null before the application set it.
    virtual CDocTemplate* listDocumentTemplate() const = 0;
    // Pane 0 of the status bar, repainted at once.
    virtual void SetMessageText(const std::string& text) = 0;
    // True while a fetch's failure message is open (a refresh then is skipped, not held back).
    virtual bool fetchMessageOpen() const = 0;
    // Calls slot, while context lives, each time a fetch is over.
    virtual QMetaObject::Connection onQuoteFetchEnded(QObject* context, std::function<void()> slot) = 0;

protected:
    ~ChildWindowHost() override = default;
};
