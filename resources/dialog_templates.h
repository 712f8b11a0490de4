// The dialog templates as data, for a platform that has no resource loader.
// They come from the same tables as the Windows resource script.
#pragma once

#include "platform/base_types.h"

struct DialogControl {
  int id;                 // -1 for static texts, group boxes and lines
  const char* className;  // "BUTTON", "EDIT", "STATIC"
  const char* text;       // ANSI text, "" when empty
  WORD textResource;      // for an SS_ICON control: the icon's resource id, else 0
  DWORD style;
  short x, y, width, height;  // dialog units
};

struct DialogTemplate {
  WORD id;
  const char* caption;
  DWORD style;
  short x, y, width, height;  // dialog units
  const char* fontFace;
  WORD pointSize;
  const DialogControl* controls;  // in template order: tab order and z-order
  int controlCount;
};

// Null for an id that names no template.
const DialogTemplate* findDialogTemplate(WORD id);
