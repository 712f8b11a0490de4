// The message queue and the toolkit's modal loops, for the input, timer,
// window and menu code.
#pragma once

#include "platform/windowing.h"

BOOL queueMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void queueMouseMove(HWND window, WPARAM keys, LPARAM position);
void dropQueuedMessages(HWND window);
void noteLastCursor(int screenX, int screenY);

// FLTK runs its own loops for pop-ups (menus, choosers). While one runs, these
// keep posted messages, paints and WM_TIMER reaching window procedures, as a
// Windows modal loop would.
void enterToolkitModalLoop();
void leaveToolkitModalLoop();
void wakeToolkitModalLoop();
// Runs FLTK's loop, with the above in force, until `finished` says so or a
// quit is posted (which stays posted for the outer loop). Termination signals
// are heard here as in GetMessageA.
void runToolkitModalLoop(bool (*finished)(void* context), void* context);
// Makes the running Fl::wait() return, for state changed outside an event.
void interruptToolkitWait();

// A termination signal closes what the user sees, as the close box would; a
// pop-up with a loop of its own (the menu) sets how it is closed too, or it
// would keep the process alive with the pop-up on screen.
void setTerminationCloser(void (*closePopup)());
