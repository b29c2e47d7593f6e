#pragma once

class ChildWindowHost;

// The "Find Quote Worldwide" command: the dialog, then OpenQuote for the chosen code and symbol.
void RunFindWorldwide(ChildWindowHost& frame);
