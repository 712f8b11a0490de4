// Fonts from LOGFONTA records, through fontconfig and Xft.
#pragma once

#include <X11/Xft/Xft.h>

#include "platform/drawing.h"
#include "platform/linux/drawing/gdi_objects.h"

// The face for a record; null only when fontconfig has no face at all.
XftFont* openFace(const LOGFONTA& font);
void closeFace(XftFont* face);
// The face of a DC with no font of its own, and of every font that failed.
XftFont* defaultFace();
// The face text in this DC is drawn with.
XftFont* selectedFace(const DcObject& dc);
