// The program's icon as the toolkit shows it.
#pragma once

#include <vector>

#include "resources/app_icon.h"

// An icon's pixels as the RGBA bytes Fl_RGB_Image takes; empty without pixels.
std::vector<unsigned char> iconRgba(const IconPixels& icon);

// Windows takes a program's icon from its file; here every window carries
// it, for the window manager's title bars, task lists and switchers.
void useProgramIcon();
