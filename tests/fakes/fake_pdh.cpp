#include <algorithm>
#include <cstring>
#include <memory>

#include "fakes/fakes.h"

namespace fake {

namespace {
struct Counter;
struct Query {
  std::vector<Counter*> counters;
};
struct Counter {
  Query* query;
  std::string path;
};

// Probes are never destroyed, so their queries stay open to the end. The fake
// keeps hold of every query it hands out, and never lets go (not even at exit),
// so they stay reachable rather than leaked.
std::vector<std::unique_ptr<Query>>& openQueries() {
  static auto* queries = new std::vector<std::unique_ptr<Query>>;
  return *queries;
}

std::vector<std::string>& startupAdds() {
  static std::vector<std::string> adds;
  return adds;
}
}  // namespace

Pdh& pdh() {
  static Pdh state;
  return state;
}

void resetPdh() {
  Pdh& state = pdh();
  state.scripts.clear();
  state.rejectedPaths.clear();
  state.log.clear();
}

const std::vector<std::string>& addsDuringStartup() { return startupAdds(); }

}  // namespace fake

using fake::pdh;

PDH_STATUS PdhOpenQueryA(LPCSTR, DWORD_PTR, PDH_HQUERY* query) {
  fake::openQueries().push_back(std::make_unique<fake::Query>());
  *query = fake::openQueries().back().get();
  ++pdh().liveQueries;
  return ERROR_SUCCESS;
}

PDH_STATUS PdhAddCounterA(PDH_HQUERY handle, LPCSTR path, DWORD_PTR, PDH_HCOUNTER* counter) {
  if (fake::startupAdds().size() < 3) fake::startupAdds().push_back(path);
  pdh().log.push_back(std::string("add ") + path);
  const auto& rejected = pdh().rejectedPaths;
  if (handle == nullptr) return PDH_INVALID_HANDLE;
  if (std::find(rejected.begin(), rejected.end(), path) != rejected.end())
    return PDH_CSTATUS_NO_OBJECT;
  auto* query = static_cast<fake::Query*>(handle);
  auto* added = new fake::Counter{query, path};
  query->counters.push_back(added);
  *counter = added;
  ++pdh().liveCounters;
  return ERROR_SUCCESS;
}

PDH_STATUS PdhRemoveCounter(PDH_HCOUNTER handle) {
  auto* counter = static_cast<fake::Counter*>(handle);
  pdh().log.push_back("remove " + counter->path);
  auto& counters = counter->query->counters;
  counters.erase(std::remove(counters.begin(), counters.end(), counter), counters.end());
  delete counter;
  --pdh().liveCounters;
  return ERROR_SUCCESS;
}

PDH_STATUS PdhCollectQueryData(PDH_HQUERY handle) {
  auto* query = static_cast<fake::Query*>(handle);
  if (query->counters.empty()) return PDH_NO_DATA;
  for (const fake::Counter* counter : query->counters) {
    pdh().log.push_back("collect " + counter->path);
    const PDH_STATUS status = pdh().scripts[counter->path].collectStatus;
    if (status != ERROR_SUCCESS) return status;
  }
  return ERROR_SUCCESS;
}

PDH_STATUS PdhGetFormattedCounterArrayA(PDH_HCOUNTER handle, DWORD format, LPDWORD size,
                                        LPDWORD count, PPDH_FMT_COUNTERVALUE_ITEM_A items) {
  if (handle == nullptr) return PDH_INVALID_HANDLE;
  if (format != PDH_FMT_LONG) return PDH_INVALID_ARGUMENT;
  auto* counter = static_cast<fake::Counter*>(handle);
  pdh().log.push_back("format " + counter->path);
  const fake::CounterScript& script = pdh().scripts[counter->path];
  if (script.formatStatus != ERROR_SUCCESS) return script.formatStatus;

  const std::size_t records = script.values.size();
  const std::size_t needed =
      records * sizeof(PDH_FMT_COUNTERVALUE_ITEM_A) + records * (script.nameLength + 1);
  if (needed > *size) {
    *size = static_cast<DWORD>(needed);
    return PDH_MORE_DATA;
  }
  char* names = reinterpret_cast<char*>(items + records);
  for (std::size_t i = 0; i < records; ++i) {
    std::memset(names, 'n', script.nameLength);
    names[script.nameLength] = '\0';
    items[i].szName = names;
    items[i].FmtValue.CStatus = PDH_CSTATUS_VALID_DATA;
    items[i].FmtValue.longValue = script.values[i];
    names += script.nameLength + 1;
  }
  *size = static_cast<DWORD>(needed);
  *count = static_cast<DWORD>(script.overstateCount ? records + 1000 : records);
  return ERROR_SUCCESS;
}
