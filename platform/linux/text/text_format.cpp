// wsprintfA, which Linux has no USER32 for. Only the conversions Kivo writes
// are known; the buffer is taken to hold the 1024 bytes Windows allows.
#include <cstdarg>
#include <cstddef>

#include "platform/windowing.h"

namespace {

constexpr std::size_t LONGEST_OUTPUT = 1024;  // terminator included

class Output {
 public:
  explicit Output(LPSTR buffer) : buffer_(buffer) {}
  void put(char c) {
    if (length_ + 1 < LONGEST_OUTPUT) buffer_[length_++] = c;
  }
  void put(const char* text) {
    while (*text) put(*text++);
  }
  void putDecimal(unsigned long long magnitude, bool negative) {
    char digits[24];
    int count = 0;
    do {
      digits[count++] = static_cast<char>('0' + magnitude % 10);
      magnitude /= 10;
    } while (magnitude > 0);
    if (negative) put('-');
    while (count > 0) put(digits[--count]);
  }
  int finish() {
    buffer_[length_] = '\0';
    return static_cast<int>(length_);
  }

 private:
  LPSTR buffer_;
  std::size_t length_ = 0;
};

}  // namespace

// A conversion it does not know prints nothing and takes no argument, as
// USER32 does; a null string prints "(null)".
int wsprintfA(LPSTR buffer, LPCSTR format, ...) {
  if (!buffer) return 0;
  Output out(buffer);
  va_list arguments;
  va_start(arguments, format);
  for (const char* c = format ? format : ""; *c; ++c) {
    if (*c != '%') {
      out.put(*c);
      continue;
    }
    if (*++c == '\0') break;
    switch (*c) {
      case '%':
        out.put('%');
        break;
      case 'd': {
        const long long value = va_arg(arguments, int);
        out.putDecimal(static_cast<unsigned long long>(value < 0 ? -value : value), value < 0);
        break;
      }
      case 'u':
        out.putDecimal(va_arg(arguments, unsigned int), false);
        break;
      case 's': {
        const char* text = va_arg(arguments, const char*);
        out.put(text ? text : "(null)");
        break;
      }
      default:
        break;
    }
  }
  va_end(arguments);
  return out.finish();
}
