#pragma once

#include <memory>

class CKolpexApp;
class Notifier;

// The application object with the program's own views: the quote view for quote windows and the
// list view for market lists and search results. main() and the end-to-end tests build the same.
std::unique_ptr<CKolpexApp> MakeKolpexApp(Notifier& notifier);
