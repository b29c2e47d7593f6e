#pragma once

#include "platform/notifier.h"
#include "quote/nullwindowhost.h"
#include "quote/pagereader.h"
#include "quote/quotemanager.h"

// The quote manager as every command wires it: default entry settings, messages on stderr, and no
// windows (a list search's results wait in host).
struct ToolQuotes final {
    const QuoteEntry defaults;
    StderrNotifier notifier;
    CPageReader reader { notifier };
    NullWindowHost host;
    CQuoteManager manager { defaults, reader, host, notifier };
};
