#include "markets/liststate.h"

int g_pendingListKind = 1;
int g_sortColumn = 0;
bool g_sortDescending = false;
std::string g_searchText;
