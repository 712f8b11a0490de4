// Fonts by family name for the toolkit's widgets, which the dialogs draw
// with, through fontconfig as Xft would open them.
#pragma once

#include <FL/Enumerations.H>

// The FLTK font for a fontconfig family in the given style, kept in `slot`
// (FL_FREE_FONT and up). FLTK keeps the name's pointer, so names are kept
// for the life of the process.
Fl_Font toolkitFont(Fl_Font slot, const char* family, bool bold, bool italic);

// The fontconfig family a face name resolves to, as Xft would open it.
// Empty when fontconfig has nothing.
void resolvedFamily(const char* utf8Face, char* family, int familySize);
