// Fonts from LOGFONTA records, through fontconfig and Xft.
#pragma once

#include <X11/Xft/Xft.h>

#include "platform/drawing.h"
#include "platform/linux/drawing/gdi_objects.h"

// The face for a record whose height is in units, opened at the pixel size
// of `percent`; null only when fontconfig has no face at all.
XftFont* openFace(const LOGFONTA& font, int percent);
void closeFace(XftFont* face);
// The face of a DC with no font of its own, and of every font that failed,
// at the scale now.
XftFont* defaultFace();
// The face text in this DC is drawn with, at the scale now: a font made at
// another scale opens its face again here.
XftFont* selectedFace(const DcObject& dc);
