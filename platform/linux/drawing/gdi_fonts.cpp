// Fonts: LOGFONTA records become Xft faces through fontconfig. fontconfig's metric
// aliases give "Courier New" and "Arial" their Liberation look-alikes, so a
// record written on Windows finds a face of the same widths here.
#include "platform/linux/drawing/gdi_fonts.h"

#include <fontconfig/fontconfig.h>

#include <cstdlib>
#include <cstring>

#include "platform/linux/text/ansi_text.h"
#include "platform/linux/x11/display_scale.h"
#include "platform/linux/x11/x11_session.h"

namespace {

constexpr LONG LARGEST_HEIGHT = 4096;
constexpr double DEFAULT_PIXELS = 13;  // about the 16-pixel cell of the Windows system font
constexpr BYTE NONANTIALIASED_QUALITY = 3;
constexpr LONG FW_SEMIBOLD = 600;
constexpr int CELL_STEPS = 8;

FcPattern* patternFor(const LOGFONTA& font, double pixels) {
  char family[LF_FACESIZE * 3];
  ansiToUtf8(font.lfFaceName, LF_FACESIZE, family, sizeof family);
  FcPattern* pattern = FcPatternCreate();
  // An empty face name asks for the default face, as on Windows.
  if (family[0] != '\0') {
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
  }
  FcPatternAddDouble(pattern, FC_PIXEL_SIZE, pixels);
  FcPatternAddInteger(pattern, FC_WEIGHT,
                      font.lfWeight >= FW_SEMIBOLD ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pattern, FC_SLANT, font.lfItalic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddBool(pattern, FC_ANTIALIAS,
                   font.lfQuality == NONANTIALIASED_QUALITY ? FcFalse : FcTrue);
  return pattern;
}

// fontconfig's matching costs far more than opening another size of a face,
// and fitting opens hundreds of sizes of one record: the last match is kept.
// The match is made at one size of the scale's, and rules of fontconfig's
// may go by size, so the scale is part of the request.
struct LastMatch {
  char face[LF_FACESIZE];
  bool bold, italic, antialias;
  int percent;
  FcPattern* pattern;
};
LastMatch lastMatch;

bool sameRequest(const LastMatch& match, const LOGFONTA& font, int percent) {
  return match.pattern && match.percent == percent &&
         std::memcmp(match.face, font.lfFaceName, LF_FACESIZE) == 0 &&
         match.bold == (font.lfWeight >= FW_SEMIBOLD) && match.italic == (font.lfItalic != 0) &&
         match.antialias == (font.lfQuality != NONANTIALIASED_QUALITY);
}

FcPattern* matchFor(Display* display, const LOGFONTA& font, double pixels, int percent) {
  if (sameRequest(lastMatch, font, percent)) return lastMatch.pattern;
  FcPattern* wanted = patternFor(font, pixels);
  FcResult result = FcResultNoMatch;
  FcPattern* match = XftFontMatch(display, DefaultScreen(display), wanted, &result);
  FcPatternDestroy(wanted);
  if (!match) return nullptr;
  if (lastMatch.pattern) FcPatternDestroy(lastMatch.pattern);
  lastMatch = LastMatch{{},
                        font.lfWeight >= FW_SEMIBOLD,
                        font.lfItalic != 0,
                        font.lfQuality != NONANTIALIASED_QUALITY,
                        percent,
                        match};
  std::memcpy(lastMatch.face, font.lfFaceName, LF_FACESIZE);
  return match;
}

XftFont* openAt(const LOGFONTA& font, double pixels, int percent) {
  Display* display = x11Display();
  FcPattern* match = display ? matchFor(display, font, pixels, percent) : nullptr;
  if (!match) return nullptr;
  FcPattern* sized = FcPatternDuplicate(match);
  FcPatternDel(sized, FC_PIXEL_SIZE);
  FcPatternDel(sized, FC_SIZE);
  FcPatternAddDouble(sized, FC_PIXEL_SIZE, pixels);
  // On success the face owns the pattern.
  XftFont* face = XftFontOpenPattern(display, sized);
  if (!face) FcPatternDestroy(sized);
  return face;
}

int cellOf(const XftFont* face) { return face->ascent + face->descent; }

// The face whose cell is nearest to `wanted` without passing it (or the
// smallest there is), by halving the em between two bounds: ascent and
// descent round to whole pixels, so some cells are reached by no em at all.
XftFont* faceForCell(const LOGFONTA& font, LONG wanted, XftFont* first, int percent) {
  XftFont* best = first;
  double low = 0, high = 2.0 * wanted, em = static_cast<double>(wanted);
  int lastCell = cellOf(first);
  for (int step = 0; step < CELL_STEPS && cellOf(best) != wanted; ++step) {
    (lastCell > wanted ? high : low) = em;
    em = (low + high) / 2;
    XftFont* next = openAt(font, em, percent);
    if (!next) break;
    lastCell = cellOf(next);
    const bool fits = lastCell <= wanted, bestFits = cellOf(best) <= wanted;
    const bool better =
        fits ? (!bestFits || lastCell > cellOf(best)) : (!bestFits && lastCell < cellOf(best));
    closeFace(better ? best : next);
    if (better) best = next;
  }
  return best;
}

}  // namespace

// A negative height is the character height (the em), a positive one the cell
// height (ascent + descent), 0 the default size. The em scales exactly, so
// text measures the same in units at any scale; a cell must be whole pixels.
XftFont* openFace(const LOGFONTA& font, int percent) {
  const LONG height = font.lfHeight < -LARGEST_HEIGHT || font.lfHeight > LARGEST_HEIGHT
                          ? LARGEST_HEIGHT
                          : std::abs(font.lfHeight);
  const double em = (height == 0 ? DEFAULT_PIXELS : static_cast<double>(height)) * percent / 100;
  XftFont* face = openAt(font, em, percent);
  if (!face || font.lfHeight <= 0 || cellOf(face) <= 0) return face;
  return faceForCell(font, static_cast<LONG>(scaledToScreen(height, percent)), face, percent);
}

void closeFace(XftFont* face) {
  if (face && x11Display() && !x11ConnectionLost()) XftFontClose(x11Display(), face);
}

XftFont* defaultFace() {
  static XftFont* face = nullptr;
  static int triedAt = 0;  // the percent it was opened at; 0 for never
  const int percent = x11ScalePercent();
  if (triedAt != percent && x11Display()) {
    triedAt = percent;
    closeFace(face);
    LOGFONTA record{};
    std::strcpy(record.lfFaceName, "sans-serif");
    face = openFace(record, percent);
  }
  return face;
}

HFONT CreateFontIndirectA(const LOGFONTA* font) {
  if (!font || !x11Display()) return nullptr;
  setFaceCloser(closeFace);
  const int percent = x11ScalePercent();
  XftFont* face = openFace(*font, percent);
  // With no face at all the font still exists and draws in the default face.
  auto* made = new FontObject{{GdiKind::TypeFace, false, 0, nullptr},
                              face,
                              font->lfUnderline != 0,
                              font->lfStrikeOut != 0,
                              *font,
                              percent};
  if (!registerGdiObject(&made->base)) {
    closeFace(face);
    delete made;
    return nullptr;
  }
  return reinterpret_cast<HFONT>(made->base.handle);
}

XftFont* selectedFace(const DcObject& dc) {
  auto* font = reinterpret_cast<FontObject*>(dc.selected[static_cast<int>(GdiKind::TypeFace)]);
  const int percent = x11ScalePercent();
  if (!font->base.stock && font->facePercent != percent) {
    closeFace(font->face);
    font->face = openFace(font->record, percent);
    font->facePercent = percent;
  }
  return font->face ? font->face : defaultFace();
}
