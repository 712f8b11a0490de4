// Modal dialogs come with their templates. Until then no template exists, and
// DialogBoxParamA answers as Windows does for a missing one: -1, nothing shown.
#include "platform/windowing.h"

INT_PTR DialogBoxParamA(HINSTANCE, LPCSTR, HWND, DLGPROC, LPARAM) { return -1; }
