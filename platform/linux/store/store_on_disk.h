// kivo.reg on disk: where it is, read and parsed whole, and saved when its
// document changed.
#pragma once

#include <string>

#include "platform/linux/store/store_file.h"

struct StoreOnDisk {
  std::string path;
  bool exists = false;
  std::string bytes;
  StoreDocument document;
};

// False when there is no store, or one that cannot be read back whole:
// replacing it would lose what the user put there. It says why, except when
// the store simply does not exist yet. forChange: the store is read to be
// changed, so a missing one starts empty and a failure is one to save.
bool loadStore(StoreOnDisk* store, bool forChange);
// Writes the document over the file when it differs from what was read;
// says why when it cannot.
bool saveStore(const StoreOnDisk& store);
