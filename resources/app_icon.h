// The program's icon as pixels, for a platform that shows it without a
// resource loader (the window icon and the About box on Linux).
#pragma once

#include <cstdint>

struct IconPixels {
  int size;                     // 16 or 32: width and height
  const std::uint32_t* pixels;  // size x size, 0xAARRGGBB, rows from the top
};

// Null pixels for a size the icon does not hold.
IconPixels appIconPixels(int size);
