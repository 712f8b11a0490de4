#include "platform/linux/drawing/toolkit_fonts.h"

#include <FL/Fl.H>
#include <fontconfig/fontconfig.h>

#include <cstring>
#include <map>
#include <set>
#include <string>

Fl_Font toolkitFont(Fl_Font slot, const char* family, bool bold, bool italic) {
  static std::set<std::string> names;
  // Fl::get_font() reads past FLTK's table for a slot never set, so this remembers.
  static std::map<Fl_Font, const std::string*> slotNames;
  const char style = bold && italic ? 'P' : bold ? 'B' : italic ? 'I' : ' ';
  const std::string* name = &*names.insert(style + std::string(family)).first;
  const std::string*& current = slotNames[slot];
  if (current != name) Fl::set_font(slot, name->c_str());
  current = name;
  return slot;
}

void resolvedFamily(const char* utf8Face, char* family, int familySize) {
  family[0] = '\0';
  FcPattern* pattern = FcPatternCreate();
  if (!pattern) return;
  if (utf8Face && utf8Face[0]) {
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(utf8Face));
  }
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  FcPatternDestroy(pattern);
  if (!match) return;
  FcChar8* name = nullptr;
  if (FcPatternGetString(match, FC_FAMILY, 0, &name) == FcResultMatch && name) {
    std::strncpy(family, reinterpret_cast<const char*>(name), static_cast<std::size_t>(familySize));
    family[familySize - 1] = '\0';
  }
  FcPatternDestroy(match);
}
