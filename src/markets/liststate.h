#pragma once

#include <string>

// Process-wide values shared by the list windows, the find dialogs and the quote window opener.

// Tells a child window that is being created what it is: 0 quote window, 2 search results,
// 3..9 a market list, 1 before any list or quote window was opened.
extern int g_pendingListKind;

// Sort state shared by every list window: column 0..3, false ascending / true descending.
extern int g_sortColumn;
extern bool g_sortDescending;

// Left by the find dialogs: the typed text, or "CC:SYMBOL" from the worldwide search.
extern std::string g_searchText;
