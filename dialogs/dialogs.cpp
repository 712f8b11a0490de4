#include "dialogs/dialogs.h"

#include "app/app_state.h"
#include "settings/settings.h"

namespace {

// The field shows no more than fits its width; the period is read from at
// most 19 characters of it.
constexpr int REFRESH_TEXT_BYTES = 20;

bool isBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Read as atoi reads: blanks, one sign, digits up to anything else; no digits
// is 0, and a number beyond 32 bits wraps rather than saturating.
LONG refreshFromText(const char* text) {
  while (isBlank(*text)) ++text;
  const bool negative = *text == '-';
  if (*text == '-' || *text == '+') ++text;
  DWORD magnitude = 0;
  for (; isDigit(*text); ++text) magnitude = magnitude * 10 + static_cast<DWORD>(*text - '0');
  return static_cast<LONG>(negative ? 0u - magnitude : magnitude);
}

void showSetup(HWND dialog) {
  char refreshText[REFRESH_TEXT_BYTES];
  wsprintfA(refreshText, "%d", static_cast<int>(settings.refresh));
  SetWindowTextA(GetDlgItem(dialog, IDC_REFRESH), refreshText);
  CheckRadioButton(dialog, IDC_USED, IDC_FREE, settings.memused == 1 ? IDC_USED : IDC_FREE);
  CheckRadioButton(dialog, IDC_PERFVIEW, IDC_LEGACY,
                   settings.view == 0 ? IDC_PERFVIEW : IDC_LEGACY);
}

// The period is taken unchecked and the timer restarted even when it did not
// change; the view and memory mode show from the next drawing on.
void takeSetup(HWND dialog) {
  char refreshText[REFRESH_TEXT_BYTES] = "";
  GetWindowTextA(GetDlgItem(dialog, IDC_REFRESH), refreshText, REFRESH_TEXT_BYTES);
  settings.refresh = refreshFromText(refreshText);
  stopRefreshTimer();
  startRefreshTimer();
  settings.memused = IsDlgButtonChecked(dialog, IDC_USED) == BST_CHECKED ? 1 : 0;
  settings.view = IsDlgButtonChecked(dialog, IDC_PERFVIEW) == BST_CHECKED ? 0 : 1;
}

}  // namespace

INT_PTR CALLBACK SetupDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  // TRUE lets the dialog manager give the first tab stop, OK, the focus.
  if (message == WM_INITDIALOG) {
    showSetup(dialog);
    return TRUE;
  }
  if (message != WM_COMMAND) return FALSE;
  switch (LOWORD(wParam)) {
    case IDOK:
      takeSetup(dialog);
      EndDialog(dialog, 0);
      return TRUE;
    case IDCANCEL:
      EndDialog(dialog, 0);
      return TRUE;
    default:
      return FALSE;
  }
}

// Cancel too, so Escape and the close box close the box as OK and Enter do.
INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) return TRUE;
  if (message != WM_COMMAND) return FALSE;
  if (LOWORD(wParam) != IDOK && LOWORD(wParam) != IDCANCEL) return FALSE;
  EndDialog(dialog, 0);
  return TRUE;
}
