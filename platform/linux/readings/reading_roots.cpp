#include "platform/linux/readings/reading_roots.h"

#include <cstring>

#include "platform/linux/readings/reading_sources.h"

namespace {

// Constant-initialised: the counter probes open their queries during static
// initialisation, possibly before any dynamic initialiser of this file runs.
char procRootText[ROOT_CAPACITY] = "/proc";
char sysRootText[ROOT_CAPACITY] = "/sys";
unsigned rootsSet = 1;

bool appendPart(char* out, std::size_t capacity, std::size_t& used, const char* part) {
  if (part == nullptr) return true;
  std::size_t length = std::strlen(part);
  bool needsSlash = used > 0 && out[used - 1] != '/';
  std::size_t after = used + (needsSlash ? 1 : 0) + length;
  if (after >= capacity) return false;
  if (needsSlash) out[used++] = '/';
  std::memcpy(out + used, part, length);
  used = after;
  out[used] = '\0';
  return true;
}

}  // namespace

bool setProcRoot(const char* dir) { return setRootText(procRootText, dir, "/proc"); }
bool setSysRoot(const char* dir) { return setRootText(sysRootText, dir, "/sys"); }
const char* procRoot() { return procRootText; }
const char* sysRoot() { return sysRootText; }
unsigned rootsGeneration() { return rootsSet; }

bool setRootText(char* root, const char* dir, const char* fallback) {
  const char* chosen = dir != nullptr ? dir : fallback;
  std::size_t length = std::strlen(chosen);
  if (length == 0 || length >= ROOT_CAPACITY) return false;
  std::memcpy(root, chosen, length + 1);
  ++rootsSet;
  return true;
}

bool joinPath(char* out, std::size_t capacity, const char* root, const char* first,
              const char* second, const char* third) {
  if (capacity == 0) return false;
  out[0] = '\0';
  std::size_t used = 0;
  return appendPart(out, capacity, used, root) && appendPart(out, capacity, used, first) &&
         appendPart(out, capacity, used, second) && appendPart(out, capacity, used, third);
}
