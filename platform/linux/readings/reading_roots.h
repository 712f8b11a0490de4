// The folders the readings are taken from: /proc, /sys and the filesystem of
// drive "c:\". The contract tests move them onto fixture trees
// (reading_sources.h); the program keeps the defaults.
#pragma once

#include <cstddef>

// Room for a root directory, terminator included.
constexpr std::size_t ROOT_CAPACITY = 256;
// Room for any path built below a root: root, a directory entry name (at most
// 255 bytes) and a short file name.
constexpr std::size_t PATH_CAPACITY_BYTES = 640;

const char* procRoot();
const char* sysRoot();
// Changes whenever a root is set: whatever was worked out from the old roots is stale.
unsigned rootsGeneration();
// Copies dir (or fallback when dir is null) into a ROOT_CAPACITY array; false,
// leaving root alone, when the chosen text is empty or does not fit.
bool setRootText(char* root, const char* dir, const char* fallback);

// Joins root, "/"-free relative parts into out; false when it would not fit.
bool joinPath(char* out, std::size_t capacity, const char* root, const char* first,
              const char* second = nullptr, const char* third = nullptr);
