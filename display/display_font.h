// The one font all text of the strip is drawn in, built from the settings.
#pragma once

#include "platform/windowing.h"

void createDisplayFont();
void deleteDisplayFont();
void fitDisplayFont();
void selectDisplayFont(HWND window);
