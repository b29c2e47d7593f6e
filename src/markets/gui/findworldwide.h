#pragma once

class CMainFrame;

// The "Find Quote Worldwide" command: the dialog, then OpenQuote for the chosen code and symbol.
void RunFindWorldwide(CMainFrame& frame);
