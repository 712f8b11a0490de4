// Everything WinMain does before its message loop, so that programs other
// than the strip's own entry (the refresh benchmark) can build the strip the
// same way.
#pragma once

#include "platform/windowing.h"

constexpr int EXIT_NO_CLASS = 1;
constexpr int EXIT_NO_WINDOW = 2;

// Registers the two classes, creates the hidden owner, the context menu, the
// settings, the display font and the strip, starts the refresh timer, sets the
// z-order, places and shows the strip. 0 when the strip stands, otherwise the
// process's exit code.
int startUp(HINSTANCE instance, int showCommand);
