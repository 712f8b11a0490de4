#include "dialogs/dialogs.h"

// The dialog templates and their handling arrive with the Setup and About
// dialogs; until then no message is handled.
INT_PTR CALLBACK SetupDlgProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

INT_PTR CALLBACK AboutDlgProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
