#pragma once

// Command and resource identifiers, kept from the original resource script so that tests and
// help texts can name them.
namespace ids {

// Resources
constexpr int IDR_MAINFRAME = 128;     // menu, accelerators, toolbar, title "Kolpex"
constexpr int IDR_KOLPEXTYPE = 129;    // quote document template and its menu
constexpr int IDR_LISTTYPE = 501;      // list document template
constexpr int IDD_ABOUTBOX = 100;
constexpr int IDD_FINDWORLDWIDE = 133;
constexpr int IDD_FIND = 502;
constexpr int IDD_PARAMETERS = 506;

// Framework commands
constexpr int ID_FILE_NEW = 57600;
constexpr int ID_FILE_OPEN = 57601;
constexpr int ID_FILE_CLOSE = 57602;
constexpr int ID_FILE_SAVE = 57603;
constexpr int ID_FILE_PRINT_SETUP = 57606;
constexpr int ID_FILE_PRINT = 57607;
constexpr int ID_FILE_PRINT_DIRECT = 57608;
constexpr int ID_FILE_PRINT_PREVIEW = 57609;
constexpr int ID_FILE_MRU_FILE1 = 57616;
constexpr int ID_FILE_MRU_LAST = 57630;
constexpr int ID_EDIT_COPY = 57634;
constexpr int ID_EDIT_CUT = 57635;
constexpr int ID_EDIT_PASTE = 57637;
constexpr int ID_EDIT_UNDO = 57643;
constexpr int ID_WINDOW_NEW = 57648;
constexpr int ID_WINDOW_ARRANGE = 57649;
constexpr int ID_WINDOW_CASCADE = 57650;
constexpr int ID_WINDOW_TILE_HORZ = 57651;
constexpr int ID_APP_ABOUT = 57664;
constexpr int ID_APP_EXIT = 57665;
constexpr int ID_HELP_FINDER = 57667;
constexpr int ID_CONTEXT_HELP = 57669;
constexpr int ID_HELP = 57670;
constexpr int ID_DEFAULT_HELP = 57671;
constexpr int ID_NEXT_PANE = 57680;
constexpr int ID_PREV_PANE = 57681;
constexpr int ID_VIEW_TOOLBAR = 59392;
constexpr int ID_VIEW_STATUS_BAR = 59393;

// The program's own commands
constexpr int ID_MARKETS_MUTUAL = 32774;
constexpr int ID_MARKETS_NASDAQ = 32777;
constexpr int ID_MARKETS_NYSE = 32779;
constexpr int ID_MARKETS_AMEX = 32780;
constexpr int ID_MARKETS_CVE = 32781;
constexpr int ID_MARKETS_TSX = 32782;
constexpr int ID_MARKETS_LSE = 32783;
constexpr int ID_FIND_IN_LIST = 32786;
constexpr int ID_FIND_WORLDWIDE = 32797;
constexpr int ID_PROPERTIES = 32799;

// Strings
constexpr int IDS_APP_TITLE = 57344;   // "Kolpex"
constexpr int AFX_IDS_IDLEMESSAGE = 57345; // " "

// Timer of a quote window
constexpr int REFRESH_TIMER_ID = 1;

} // namespace ids
