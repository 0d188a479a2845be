#pragma once
// Command, string and resource identifiers of the terminal.

// Resources
constexpr unsigned IDR_MAINFRAME = 128;
constexpr unsigned IDD_ABOUTBOX = 100;
constexpr unsigned IDD_SETUP = 130;
constexpr unsigned IDB_ABOUT = 132;

// Strings
constexpr unsigned IDS_CONNECT_FAILED = 32103;
constexpr unsigned AFX_IDS_APP_TITLE = 57344;
constexpr unsigned AFX_IDS_IDLEMESSAGE = 57345;
constexpr unsigned AFX_IDS_HELPMODEMESSAGE = 57346;

// The terminal's own commands
constexpr unsigned ID_CONNECT = 32771;
constexpr unsigned ID_SEND_TEXTFILE = 32779;
constexpr unsigned ID_RECORD_QSO = 32780;
constexpr unsigned ID_TRANSMISSION = 32782;
constexpr unsigned ID_ABORT_TRANSMISSION = 32783;
constexpr unsigned ID_SETUP = 32784;
constexpr unsigned ID_MACRO_F9 = 32786;
constexpr unsigned ID_MACRO_F12 = 32787;
constexpr unsigned ID_MACRO_F11 = 32788;
constexpr unsigned ID_MACRO_F10 = 32789;
constexpr unsigned ID_TOOLBAR_IE4_STYLE = 32790;
constexpr unsigned ID_CLEAR_WINDOWS = 32791;

// Standard commands
constexpr unsigned ID_FILE_NEW = 57600;
constexpr unsigned ID_FILE_OPEN = 57601;
constexpr unsigned ID_FILE_SAVE = 57603;
constexpr unsigned ID_EDIT_COPY = 57634;
constexpr unsigned ID_EDIT_CUT = 57635;
constexpr unsigned ID_EDIT_PASTE = 57637;
constexpr unsigned ID_EDIT_UNDO = 57643;
constexpr unsigned ID_APP_ABOUT = 57664;
constexpr unsigned ID_APP_EXIT = 57665;
constexpr unsigned ID_HELP_FINDER = 57667;
constexpr unsigned ID_CONTEXT_HELP = 57669;
constexpr unsigned ID_HELP = 57670;
constexpr unsigned ID_DEFAULT_HELP = 57671;
constexpr unsigned ID_NEXT_PANE = 57680;
constexpr unsigned ID_PREV_PANE = 57681;
constexpr unsigned ID_VIEW_TOOLBAR = 59392;
constexpr unsigned ID_VIEW_STATUS_BAR = 59393;
constexpr unsigned ID_INDICATOR_CAPS = 59137;
constexpr unsigned ID_INDICATOR_NUM = 59138;
constexpr unsigned ID_INDICATOR_SCRL = 59139;

// Help context of the Setup dialog's topic.
constexpr int HIDD_SETUP = 2730866;
