// The text of kivo.reg, Linux's stand-in for the registry: the same file format
// regedit exports and imports, so settings travel between the two systems.
// Everything here works on bytes in memory; reading and replacing the file is
// store_on_disk.cpp's business.
//
// The document keeps every line exactly as it came in. Only the lines the store
// understands (HKEY_CURRENT_USER key lines and the values under them) carry a
// meaning; everything else (other roots, deletions, comments, lines with a typo)
// is carried along untouched, so saving a setting never costs the user a line.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/registry.h"

enum class StoreHealth {
  Readable,    // has the header: values can be looked up and changed
  Unreadable,  // no header, or bytes that cannot be turned back into the same text:
               // nothing reads, nothing writes, so the file stays as the user left it
};

// UTF-16 as Windows exports it, with or without a byte order mark, either byte
// order; ANSI otherwise (a UTF-8 byte order mark stays part of the first line).
enum class StoreEncoding { Ansi, Utf16Le, Utf16Be };

enum class StoreLineKind { Other, UserKey, Value };

// One line of the file, or a hex value together with the lines it is wrapped onto.
struct StoreLine {
  std::string raw;  // exactly as in the file, line endings included
  StoreLineKind kind = StoreLineKind::Other;
  std::string keyPath;  // UserKey: below HKEY_CURRENT_USER; Value: of the key line above it
  std::string valueName;
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
  bool waitsForMore = false;  // a wrapped hex value cut short by the end of the file
};

struct StoreDocument {
  StoreHealth health = StoreHealth::Readable;
  StoreEncoding encoding = StoreEncoding::Ansi;
  bool byteOrderMark = false;    // UTF-16 only
  std::string newline = "\r\n";  // for lines the store adds: the file's own
  std::vector<StoreLine> lines;
};

struct StoreValue {
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
};

// What a store that does not exist yet starts from: the header and a blank line.
StoreDocument newStore();
// Lines end in CR LF, LF or a lone CR. The header is the first line that is not
// blank: "Windows Registry Editor Version 5.00" or the older "REGEDIT4", in any
// letter case.
StoreDocument parseStore(const std::string& bytes);
std::string renderStore(const StoreDocument& store);

// Key paths lie below HKEY_CURRENT_USER ("Software\Falvane\Kivo\2.0"). They and
// value names compare without regard to ASCII case, as in the registry.
bool isStoreKeyPath(const std::string& keyPath);
bool isStoreValueName(const std::string& name);

bool findStoreValue(const StoreDocument& store, const std::string& keyPath, const std::string& name,
                    StoreValue* value);
bool storeKeyExists(const StoreDocument& store, const std::string& keyPath);

// Both leave the document as it was and give false when the change cannot be
// made without losing something: an Unreadable store, or a path or name the
// file format cannot hold. Only the lines concerned are touched, so a change
// costs the same in a big file as in a small one.
bool addStoreKey(StoreDocument* store, const std::string& keyPath);
bool setStoreValue(StoreDocument* store, const std::string& keyPath, const std::string& name,
                   const StoreValue& value);
