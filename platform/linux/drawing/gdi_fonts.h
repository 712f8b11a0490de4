// Fonts from LOGFONTA records, through fontconfig and Xft.
#pragma once

#include <X11/Xft/Xft.h>

#include "platform/drawing.h"

// The face for a record; null only when fontconfig has no face at all.
XftFont* openFace(const LOGFONTA& font);
void closeFace(XftFont* face);
// The face of a DC with no font of its own, and of every font that failed.
XftFont* defaultFace();
