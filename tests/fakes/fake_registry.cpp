#include <algorithm>
#include <cstring>

#include "fakes/fakes.h"

namespace fake {

namespace {
struct Key {
  std::string path;
  bool writable;
};
}  // namespace

Registry& registry() {
  static Registry state;
  return state;
}

void resetRegistry() { registry() = Registry{}; }

void storeDword(const std::string& key, const std::string& name, DWORD value) {
  std::vector<BYTE> bytes(4);
  std::memcpy(bytes.data(), &value, 4);
  registry().keys[key][name] = {REG_DWORD, bytes};
}

void storeBytes(const std::string& key, const std::string& name, std::vector<BYTE> bytes,
                DWORD type) {
  registry().keys[key][name] = {type, std::move(bytes)};
}

DWORD storedDword(const std::string& key, const std::string& name) {
  const auto found = registry().keys[key].find(name);
  if (found == registry().keys[key].end() || found->second.bytes.size() != 4) return 0xDEADBEEF;
  DWORD value = 0;
  std::memcpy(&value, found->second.bytes.data(), 4);
  return value;
}

std::vector<std::string> valuesWritten() {
  std::vector<std::string> names;
  for (const std::string& entry : registry().log)
    if (entry.rfind("set ", 0) == 0) names.push_back(entry.substr(4));
  return names;
}

}  // namespace fake

using fake::registry;

LSTATUS RegOpenKeyExA(HKEY root, LPCSTR subKey, DWORD, REGSAM, PHKEY result) {
  *result = nullptr;
  registry().log.push_back(std::string("open ") + subKey);
  if (root != HKEY_CURRENT_USER || registry().failOpen) return ERROR_ACCESS_DENIED;
  if (registry().keys.count(subKey) == 0) return ERROR_FILE_NOT_FOUND;
  *result = reinterpret_cast<HKEY>(new fake::Key{subKey, false});
  ++registry().liveKeys;
  return ERROR_SUCCESS;
}

LSTATUS RegQueryValueExA(HKEY handle, LPCSTR name, LPDWORD, LPDWORD type, LPBYTE data,
                         LPDWORD size) {
  registry().log.push_back(std::string("query ") + name);
  const auto* key = reinterpret_cast<fake::Key*>(handle);
  auto& values = registry().keys[key->path];
  const auto found = values.find(name);
  if (found == values.end()) return ERROR_FILE_NOT_FOUND;
  const fake::RegValue& value = found->second;
  if (type != nullptr) *type = value.type;
  if (value.bytes.size() > *size) {
    *size = static_cast<DWORD>(value.bytes.size());
    return ERROR_MORE_DATA;
  }
  std::copy(value.bytes.begin(), value.bytes.end(), data);
  *size = static_cast<DWORD>(value.bytes.size());
  return ERROR_SUCCESS;
}

LSTATUS RegCreateKeyExA(HKEY root, LPCSTR subKey, DWORD, LPSTR, DWORD, REGSAM,
                        LPSECURITY_ATTRIBUTES, PHKEY result, LPDWORD) {
  *result = nullptr;
  registry().log.push_back(std::string("create ") + subKey);
  if (root != HKEY_CURRENT_USER || registry().failCreate) return ERROR_ACCESS_DENIED;
  registry().keys[subKey];
  *result = reinterpret_cast<HKEY>(new fake::Key{subKey, true});
  ++registry().liveKeys;
  return ERROR_SUCCESS;
}

LSTATUS RegSetValueExA(HKEY handle, LPCSTR name, DWORD, DWORD type, const BYTE* data, DWORD size) {
  const auto* key = reinterpret_cast<fake::Key*>(handle);
  const auto& failing = registry().failSetFor;
  if (!key->writable || std::find(failing.begin(), failing.end(), name) != failing.end())
    return ERROR_ACCESS_DENIED;
  registry().log.push_back(std::string("set ") + name);
  registry().keys[key->path][name] = {type, std::vector<BYTE>(data, data + size)};
  return ERROR_SUCCESS;
}

LSTATUS RegCloseKey(HKEY handle) {
  registry().log.push_back("close");
  delete reinterpret_cast<fake::Key*>(handle);
  --registry().liveKeys;
  return ERROR_SUCCESS;
}
