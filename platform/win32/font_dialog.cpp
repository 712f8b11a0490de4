// Wine's ChooseFontA writes the record even when the user cancels, which would
// put the dialog's last look into the settings. The dialog works on a copy,
// and the caller's record takes the choice only once it is confirmed.
#include "platform/drawing.h"

// Past this point the name is the library's own export again.
#undef ChooseFontA

BOOL kivoChooseFontA(LPCHOOSEFONTA chooseFont) {
  LOGFONTA choice = *chooseFont->lpLogFont;
  CHOOSEFONTA dialog = *chooseFont;
  dialog.lpLogFont = &choice;
  const BOOL confirmed = ChooseFontA(&dialog);
  if (confirmed != TRUE) return confirmed;
  dialog.lpLogFont = chooseFont->lpLogFont;
  *chooseFont = dialog;
  *chooseFont->lpLogFont = choice;
  return confirmed;
}
