#include "settings/settings_store.h"

#include <cstdio>

#include "platform/registry.h"

char keyPath[KEY_PATH_BYTES];

namespace {

// A path too long for keyPath would, cut short, name some other key. It is
// left empty instead, and an empty path makes every operation a no-op, so
// nothing ever touches HKEY_CURRENT_USER itself.
bool haveKeyPath() { return keyPath[0] != '\0'; }

bool keepingKey = false;
HKEY keptKey = nullptr;

HKEY openKeyForReading() {
  HKEY key = nullptr;
  if (!haveKeyPath()) return nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, keyPath, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
    return nullptr;
  return key;
}

HKEY openKeyForWriting() {
  HKEY key = nullptr;
  DWORD disposition = 0;
  char noClass[] = "";
  if (!haveKeyPath()) return nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, keyPath, 0, noClass, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                      nullptr, &key, &disposition) != ERROR_SUCCESS)
    return nullptr;
  return key;
}

void closeUnlessKept(HKEY key) {
  if (!keepingKey) RegCloseKey(key);
}

bool readValue(const char* name, void* buffer, DWORD size) {
  HKEY key = keepingKey ? keptKey : openKeyForReading();
  if (key == nullptr) return false;
  DWORD type = 0;
  const LSTATUS status =
      RegQueryValueExA(key, name, nullptr, &type, static_cast<LPBYTE>(buffer), &size);
  closeUnlessKept(key);
  return status == ERROR_SUCCESS;
}

void writeValue(const char* name, DWORD type, const void* data, DWORD size) {
  HKEY key = keepingKey ? keptKey : openKeyForWriting();
  if (key == nullptr) return;
  RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
  closeUnlessKept(key);
}

}  // namespace

void buildKeyPath(const char* product, const char* version) {
  const int length =
      version != nullptr
          ? std::snprintf(keyPath, sizeof keyPath, "Software\\Falvane\\%s\\%s", product, version)
          : std::snprintf(keyPath, sizeof keyPath, "Software\\Falvane\\%s", product);
  if (length < 0 || static_cast<std::size_t>(length) >= sizeof keyPath) keyPath[0] = '\0';
}

LONG readDword(const char* name) {
  // Zero first: a stored value shorter than four bytes fills only the front.
  DWORD value = 0;
  if (!readValue(name, &value, sizeof value)) return NOT_FOUND;
  return static_cast<LONG>(value);
}

void writeDword(const char* name, LONG value) {
  const DWORD stored = static_cast<DWORD>(value);
  writeValue(name, REG_DWORD, &stored, sizeof stored);
}

bool readBytes(const char* name, void* buffer, DWORD size) { return readValue(name, buffer, size); }

void writeBytes(const char* name, const void* data, DWORD size) {
  writeValue(name, REG_BINARY, data, size);
}

void keepKeyOpenForReading() {
  closeKeptKey();
  keptKey = openKeyForReading();
  keepingKey = true;
}

void keepKeyOpenForWriting() {
  closeKeptKey();
  keptKey = openKeyForWriting();
  keepingKey = true;
}

void closeKeptKey() {
  if (keptKey != nullptr) RegCloseKey(keptKey);
  keptKey = nullptr;
  keepingKey = false;
}
