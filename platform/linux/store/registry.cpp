// The registry calls over kivo.reg in the user's config directory. A key
// handle reads and parses the file once, when it is opened; its changes stay
// in memory and are written in one go when it is closed, so a save lands whole
// or leaves the old file whole. Nothing here needs the display: the save at
// log-out runs after the X connection is gone.
#include "platform/registry.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/linux/store/store_on_disk.h"
#include "platform/linux/store/store_replacement.h"

struct HKEY__ {
  std::string keyPath;
  bool canWrite;
  StoreOnDisk store;  // as read at open, with this key's changes
  bool changed;
};

namespace {

// Handles are checked against this list before use, so a stale or made-up
// handle gives ERROR_INVALID_HANDLE instead of touching freed memory.
std::vector<HKEY> openKeys;

bool isOpenKey(HKEY key) {
  return key != nullptr && std::find(openKeys.begin(), openKeys.end(), key) != openKeys.end();
}

HKEY handOutKey(const std::string& keyPath, REGSAM access, StoreOnDisk* store, bool changed) {
  HKEY key = new HKEY__{keyPath, (access & KEY_SET_VALUE) != 0, std::move(*store), changed};
  openKeys.push_back(key);
  return key;
}

// Kivo only ever names keys below HKEY_CURRENT_USER.
LSTATUS checkKeyRequest(HKEY root, LPCSTR subKey, PHKEY result) {
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  if (root != HKEY_CURRENT_USER) return ERROR_INVALID_HANDLE;
  if (subKey == nullptr || !isStoreKeyPath(subKey)) return ERROR_INVALID_PARAMETER;
  return ERROR_SUCCESS;
}

}  // namespace

LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD /*options*/, REGSAM access, PHKEY result) {
  const LSTATUS request = checkKeyRequest(key, subKey, result);
  if (request != ERROR_SUCCESS) return request;
  StoreOnDisk store;
  if (!loadStore(&store, false) || !storeKeyExists(store.document, subKey))
    return ERROR_FILE_NOT_FOUND;
  *result = handOutKey(subKey, access, &store, false);
  return ERROR_SUCCESS;
}

LSTATUS RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                         LPDWORD dataSize) {
  if (!isOpenKey(key)) return ERROR_INVALID_HANDLE;
  if (reserved != nullptr || (data != nullptr && dataSize == nullptr))
    return ERROR_INVALID_PARAMETER;
  StoreValue value;
  if (!findStoreValue(key->store.document, key->keyPath, valueName != nullptr ? valueName : "",
                      &value))
    return ERROR_FILE_NOT_FOUND;
  if (type != nullptr) *type = value.type;
  if (dataSize == nullptr) return ERROR_SUCCESS;
  const DWORD needed = static_cast<DWORD>(value.data.size());
  if (data != nullptr && needed > *dataSize) {
    *dataSize = needed;  // as Windows does, so the caller can size a buffer
    return ERROR_MORE_DATA;
  }
  if (data != nullptr && needed > 0) std::memcpy(data, value.data.data(), needed);
  *dataSize = needed;
  return ERROR_SUCCESS;
}

LSTATUS RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD /*reserved*/, LPSTR /*keyClass*/,
                        DWORD /*options*/, REGSAM access, LPSECURITY_ATTRIBUTES /*security*/,
                        PHKEY result, LPDWORD disposition) {
  const LSTATUS request = checkKeyRequest(key, subKey, result);
  if (request != ERROR_SUCCESS) return request;
  StoreOnDisk store;
  if (!loadStore(&store, true) || !storeIsWritable(store.path)) return ERROR_ACCESS_DENIED;
  const bool existed = storeKeyExists(store.document, subKey);
  if (!existed && !addStoreKey(&store.document, subKey)) return ERROR_ACCESS_DENIED;
  if (disposition != nullptr)
    *disposition = existed ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
  *result = handOutKey(subKey, access, &store, !existed);
  return ERROR_SUCCESS;
}

LSTATUS RegSetValueExA(HKEY key, LPCSTR valueName, DWORD /*reserved*/, DWORD type, const BYTE* data,
                       DWORD dataSize) {
  if (!isOpenKey(key)) return ERROR_INVALID_HANDLE;
  if (!key->canWrite) return ERROR_ACCESS_DENIED;
  const std::string name = valueName != nullptr ? valueName : "";
  if ((data == nullptr && dataSize != 0) || !isStoreValueName(name)) return ERROR_INVALID_PARAMETER;
  StoreValue value;
  value.type = type;
  if (dataSize != 0) value.data.assign(data, data + dataSize);
  if (!setStoreValue(&key->store.document, key->keyPath, name, value)) return ERROR_ACCESS_DENIED;
  key->changed = true;
  return ERROR_SUCCESS;
}

// A key's changes are written here, all together; a failed save is said on
// stderr and leaves the old file as it was.
LSTATUS RegCloseKey(HKEY key) {
  const auto found = std::find(openKeys.begin(), openKeys.end(), key);
  if (key == nullptr || found == openKeys.end()) return ERROR_INVALID_HANDLE;
  openKeys.erase(found);
  const bool saved = !key->changed || saveStore(key->store);
  delete key;
  return saved ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}
