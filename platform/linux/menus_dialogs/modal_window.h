// Placement and focus of a modal window: the dialog boxes' and the font
// chooser's.
#pragma once

#include <FL/Fl_Window.H>

#include "platform/windowing.h"

// Where a modal window of this size in units opens, in screen pixels: its
// top-left at `offset` units into the owner's client area (on the screen when
// there is no owner), moved onto the screen it is on, as Windows keeps a
// dialog visible.
POINT modalOrigin(HWND owner, POINT offset, int width, int height);

// Places a widget of a modal window laid out in units (`place`, in its
// window) at the screen's scale, by its edges, so widgets that meet in units
// meet on screen.
void placeWidgetAtScale(Fl_Widget* widget, const RECT& place);

// Windows activates a modal dialog as it opens, with its title bar on the
// screen (which this makes sure of, too). Some window managers keep a
// new window from taking the keyboard while another program has it, and with
// none nothing gives it at all, so this asks. Called from the window's draw(),
// which FLTK runs only once the X window is exposed and so can take the
// focus; `drawnBefore` keeps it to the first.
void takeKeyboardAtFirstDraw(Fl_Window* window, bool* drawnBefore);
