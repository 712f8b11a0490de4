// Replacing kivo.reg whole: a crash or a full disk during a save leaves either
// the old store or the new one, never half of one.
#pragma once

#include <string>

// Writes bytes beside the store and renames them over it; false with the
// reason when the store was left as it was.
bool replaceStoreFile(const std::string& path, const std::string& bytes, std::string* reason);
// What the write at close would meet, asked before handing out a key for it;
// says why not when it would fail.
bool storeIsWritable(const std::string& path);
