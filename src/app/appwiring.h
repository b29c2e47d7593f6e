#pragma once

#include <memory>

class CKolpexApp;
class Notifier;

// The application object with the program's own views: the quote view for quote windows and the
// list view for market lists and search results. main() and the end-to-end tests build the same.
std::unique_ptr<CKolpexApp> MakeKolpexApp(Notifier& notifier);

// Everything after a successful InitInstance: the watch for signals and the session's end, the
// demo script when one is asked for, the message loop until the main frame has closed, then the
// exit sequence. Returns the program's status.
int RunKolpex(CKolpexApp& app);
