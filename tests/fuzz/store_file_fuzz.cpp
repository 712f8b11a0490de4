// kivo.reg is a file users edit, merge and copy from Windows, so the store
// must cope with anything in it. For any input: parsing does not crash, an
// untouched document renders back to the very same bytes, and after a change
// the file read back holds the new value while every other value reads as
// before. What to change is picked from a hash of the input, so the corpus
// stays a folder of plain store files.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/linux/store/store_file.h"

namespace {

struct ValueName {
  std::string keyPath;
  std::string name;
};

struct Reading {
  bool found = false;
  StoreValue value;
};

void require(bool holds) {
  if (!holds) std::abort();
}

bool sameAsciiText(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] + 32) : a[i];
    const char y = b[i] >= 'A' && b[i] <= 'Z' ? static_cast<char>(b[i] + 32) : b[i];
    if (x != y) return false;
  }
  return true;
}

// Every value the document holds, and Kivo's font, which it may not.
std::vector<ValueName> valueNames(const StoreDocument& store) {
  std::vector<ValueName> names;
  for (const StoreLine& line : store.lines)
    if (line.kind == StoreLineKind::Value) names.push_back({line.keyPath, line.valueName});
  names.push_back({"Software\\Falvane\\Kivo\\2.0", "font"});
  return names;
}

std::vector<Reading> readAll(const StoreDocument& store, const std::vector<ValueName>& names) {
  std::vector<Reading> readings(names.size());
  for (std::size_t i = 0; i < names.size(); ++i)
    readings[i].found = findStoreValue(store, names[i].keyPath, names[i].name, &readings[i].value);
  return readings;
}

bool sameReading(const Reading& a, const Reading& b) {
  return a.found == b.found &&
         (!a.found || (a.value.type == b.value.type && a.value.data == b.value.data));
}

struct Picker {
  std::uint64_t state;
  std::uint32_t next(std::uint32_t bound) {
    state = state * 6364136223846793005u + 1442695040888963407u;
    return static_cast<std::uint32_t>(state >> 33) % bound;
  }
};

std::uint64_t hashOf(const std::uint8_t* data, std::size_t size) {
  std::uint64_t hash = 1469598103934665603u;
  for (std::size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 1099511628211u;
  return hash;
}

std::string flipCase(std::string text, Picker* pick) {
  for (char& c : text)
    if (((c | 32) >= 'a' && (c | 32) <= 'z') && pick->next(2) == 0) c = static_cast<char>(c ^ 32);
  return text;
}

std::string sliceOf(const std::string& input, Picker* pick, std::uint32_t longest) {
  if (input.empty()) return "";
  const std::uint32_t start = pick->next(static_cast<std::uint32_t>(input.size()));
  return input.substr(start, pick->next(longest + 1));
}

ValueName pickTarget(const std::vector<ValueName>& names, const std::string& input, Picker* pick) {
  ValueName target = names[pick->next(static_cast<std::uint32_t>(names.size()))];
  switch (pick->next(4)) {
    case 0:
      return {flipCase(target.keyPath, pick), flipCase(target.name, pick)};
    case 1:
      return {target.keyPath, sliceOf(input, pick, 12)};
    case 2:
      return {sliceOf(input, pick, 20), sliceOf(input, pick, 8)};
    default:
      return target;
  }
}

StoreValue pickValue(const std::string& input, Picker* pick) {
  StoreValue value;
  const std::uint32_t form = pick->next(4);
  value.type = form == 0   ? REG_DWORD
               : form == 1 ? REG_BINARY
               : form == 2 ? REG_SZ
                           : pick->next(300);
  if (form == 0) {
    for (int i = 0; i < 4; ++i) value.data.push_back(static_cast<BYTE>(pick->next(256)));
    return value;
  }
  const std::string bytes = sliceOf(input, pick, 120) + (form == 2 ? "\\\"" : "");
  value.data.assign(bytes.begin(), bytes.end());
  if (form == 2 && pick->next(2) == 0) value.data.push_back(0);
  return value;
}

void checkChange(StoreDocument* store, const std::string& input, Picker* pick) {
  const StoreDocument before = *store;
  const std::vector<ValueName> names = valueNames(before);
  const std::vector<Reading> readings = readAll(before, names);
  const ValueName target = pickTarget(names, input, pick);
  const StoreValue value = pickValue(input, pick);
  const bool changeable = before.health != StoreHealth::Unreadable &&
                          isStoreKeyPath(target.keyPath) && isStoreValueName(target.name);

  const bool changed = setStoreValue(store, target.keyPath, target.name, value);
  require(changed == changeable);
  if (!changed) {
    require(renderStore(*store) == renderStore(before));
    return;
  }
  const StoreDocument reread = parseStore(renderStore(*store));
  Reading stored;
  stored.found = findStoreValue(reread, target.keyPath, target.name, &stored.value);
  require(stored.found && stored.value.type == value.type && stored.value.data == value.data);
  require(storeKeyExists(reread, target.keyPath));
  require(reread.encoding == before.encoding && reread.byteOrderMark == before.byteOrderMark &&
          reread.newline == before.newline);
  const std::vector<Reading> after = readAll(reread, names);
  const std::vector<Reading> inMemory = readAll(*store, names);
  for (std::size_t i = 0; i < names.size(); ++i) {
    const bool isTarget = sameAsciiText(names[i].keyPath, target.keyPath) &&
                          sameAsciiText(names[i].name, target.name);
    if (!isTarget) require(sameReading(readings[i], after[i]));
    // The edited document says what the written file will say.
    require(sameReading(inMemory[i], after[i]));
  }
}

void checkNewKey(StoreDocument* store, const std::string& input, Picker* pick) {
  const StoreDocument before = *store;
  const std::vector<ValueName> names = valueNames(before);
  const std::vector<Reading> readings = readAll(before, names);
  const std::string keyPath = flipCase(sliceOf(input, pick, 24), pick);
  if (!addStoreKey(store, keyPath)) {
    require(renderStore(*store) == renderStore(before));
    return;
  }
  const StoreDocument reread = parseStore(renderStore(*store));
  require(storeKeyExists(reread, keyPath));
  require(before.health == StoreHealth::Readable && reread.encoding == before.encoding);
  const std::vector<Reading> after = readAll(reread, names);
  for (std::size_t i = 0; i < names.size(); ++i) require(sameReading(readings[i], after[i]));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  StoreDocument store = parseStore(input);
  require(renderStore(store) == input);
  Picker pick{hashOf(data, size)};
  for (int round = 0; round < 3; ++round) {
    if (pick.next(4) == 0)
      checkNewKey(&store, input, &pick);
    else
      checkChange(&store, input, &pick);
  }
  return 0;
}
