#include "platform/linux/windows/program_icon.h"

#include <FL/Fl_RGB_Image.H>
#include <FL/Fl_Window.H>

std::vector<unsigned char> iconRgba(const IconPixels& icon) {
  std::vector<unsigned char> rgba;
  for (int i = 0; icon.pixels && i < icon.size * icon.size; ++i) {
    for (const int shift : {16, 8, 0, 24})
      rgba.push_back(static_cast<unsigned char>(icon.pixels[i] >> shift));
  }
  return rgba;
}

void useProgramIcon() {
  static bool done = false;
  if (done) return;
  done = true;
  std::vector<unsigned char> bytes[2];
  const Fl_RGB_Image* images[2] = {};
  int count = 0;
  for (const int size : {32, 16}) {
    const IconPixels icon = appIconPixels(size);
    if (!icon.pixels || icon.size != size) continue;
    bytes[count] = iconRgba(icon);
    images[count] = new Fl_RGB_Image(bytes[count].data(), size, size, 4);
    ++count;
  }
  // FLTK keeps copies of the images.
  if (count > 0) Fl_Window::default_icons(images, count);
  for (int i = 0; i < count; ++i) delete images[i];
}
