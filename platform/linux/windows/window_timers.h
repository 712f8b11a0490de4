// Window timers, for the message loop.
#pragma once

#include "platform/windowing.h"

bool takeDueTimer(MSG* msg);
double secondsToNextTimer();  // negative when no timer runs
void killWindowTimers(HWND window);
DWORD tickCount();
// The message loop, which sits above the timers, hears here of a timer set
// while it waits with a deadline taken earlier.
void setTimerChangeListener(void (*listener)());
