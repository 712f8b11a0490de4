// The Performance Data Helper calls, answered from /proc/stat and
// /proc/net/dev. A query keeps its last two collections; every rate is worked
// out from those two when it is formatted. The network instances are the
// interfaces that carry the machine's outside traffic (outside_interfaces.h).
#include "platform/perf_counters.h"

#include <strings.h>

#include <cmath>
#include <cstring>
#include <new>

#include "platform/linux/readings/line_reader.h"
#include "platform/linux/readings/outside_interfaces.h"
#include "platform/linux/readings/reading_clock.h"
#include "platform/linux/readings/reading_roots.h"
#include "platform/linux/readings/reading_sources.h"

namespace {

// The latest collection, the one before it, and room to read the next one, so
// a failed collection leaves the other two as they were.
constexpr int SNAPSHOT_SLOTS = 3;
constexpr double LARGEST_LONG = 2147483647.0;
constexpr double NANOS_PER_SECOND = 1e9;
const char* const PROCESSOR_INSTANCE = "_Total";

enum class CounterKind { processorTime, bytesReceived, bytesSent };

struct QueryRecord;

struct CounterRecord {
  CounterRecord* next;
  QueryRecord* query;
  CounterKind kind;
};

struct ProcessorTicks {
  unsigned long long idle;  // idle and iowait: waiting on a disk is not work
  unsigned long long total;
};

struct Snapshot {
  unsigned long long nanos;
  bool hasProcessor;
  ProcessorTicks processor;
  bool hasNetwork;
  NetworkTable network;
};

struct QueryRecord {
  QueryRecord* next;
  CounterRecord* counters;
  int latest;
  Snapshot slots[SNAPSHOT_SLOTS];
};

struct KnownCounter {
  const char* object;
  const char* instance;
  const char* counter;
  CounterKind kind;
};

const KnownCounter KNOWN_COUNTERS[] = {
    {"Processor", "_Total", "% Processor Time", CounterKind::processorTime},
    {"Network Interface", "*", "Bytes Received/sec", CounterKind::bytesReceived},
    {"Network Interface", "*", "Bytes Sent/sec", CounterKind::bytesSent},
};

struct CounterPathParts {
  TextSpan object;
  TextSpan instance;
  TextSpan counter;
};

// Constant-initialised, like everything here: the probes open their queries
// during static initialisation, before dynamic initialisers are sure to have run.
QueryRecord* firstQuery = nullptr;
KeptFile statFile = NOT_OPENED;

// --- Counter paths -------------------------------------------------------

bool caseEquals(TextSpan span, const char* word) {
  return std::strlen(word) == span.length && strncasecmp(span.text, word, span.length) == 0;
}

// "\object(instance)\counter" or "\object\counter"; machine names are not ours to read.
bool splitCounterPath(const char* path, CounterPathParts& parts) {
  if (path[0] != '\\' || path[1] == '\\') return false;
  const char* cursor = path + 1;
  std::size_t objectLength = std::strcspn(cursor, "(\\");
  parts.object = {cursor, objectLength};
  cursor += objectLength;
  parts.instance = {cursor, 0};
  if (*cursor == '(') {
    const char* close = std::strchr(cursor, ')');
    if (close == nullptr) return false;
    parts.instance = {cursor + 1, static_cast<std::size_t>(close - cursor - 1)};
    cursor = close + 1;
  }
  if (*cursor != '\\') return false;
  ++cursor;
  parts.counter = {cursor, std::strlen(cursor)};
  return objectLength > 0 && parts.counter.length > 0 && std::strchr(cursor, '\\') == nullptr;
}

PDH_STATUS findCounterKind(const char* path, CounterKind& kind) {
  CounterPathParts parts{};
  if (!splitCounterPath(path, parts)) return PDH_CSTATUS_BAD_COUNTERNAME;
  bool objectKnown = false;
  for (const KnownCounter& known : KNOWN_COUNTERS) {
    if (!caseEquals(parts.object, known.object)) continue;
    objectKnown = true;
    if (caseEquals(parts.instance, known.instance) && caseEquals(parts.counter, known.counter)) {
      kind = known.kind;
      return ERROR_SUCCESS;
    }
  }
  return objectKnown ? PDH_CSTATUS_NO_COUNTER : PDH_CSTATUS_NO_OBJECT;
}

// --- Handles -------------------------------------------------------------

// Handles are checked against the live records, never dereferenced on trust.
QueryRecord* findQuery(PDH_HQUERY handle) {
  for (QueryRecord* query = firstQuery; query != nullptr; query = query->next)
    if (query == handle) return query;
  return nullptr;
}

CounterRecord* findCounter(PDH_HCOUNTER handle) {
  for (QueryRecord* query = firstQuery; query != nullptr; query = query->next)
    for (CounterRecord* counter = query->counters; counter != nullptr; counter = counter->next)
      if (counter == handle) return counter;
  return nullptr;
}

bool queryNeeds(const QueryRecord& query, bool network) {
  for (const CounterRecord* counter = query.counters; counter != nullptr; counter = counter->next)
    if ((counter->kind != CounterKind::processorTime) == network) return true;
  return false;
}

// --- /proc/stat ----------------------------------------------------------

bool isProcessorTotalLine(TextSpan line) {
  return line.length > 3 && std::memcmp(line.text, "cpu", 3) == 0 && isBlank(line.text[3]);
}

// "cpu  user nice system idle iowait irq softirq steal guest guest_nice"; the
// guest times are already inside user and nice. Old kernels stop after idle.
bool parseProcessorLine(TextSpan line, ProcessorTicks& ticks) {
  TextSpan rest = {line.text + 3, line.length - 3};
  unsigned long long fields[8] = {};
  int count = 0;
  skipBlanks(rest);
  while (rest.length > 0) {
    unsigned long long value = 0;
    if (!takeNumber(rest, value)) return false;
    if (count < 8) fields[count] = value;
    ++count;
    skipBlanks(rest);
  }
  if (count < 4) return false;
  unsigned long long total = 0;
  for (unsigned long long field : fields)
    if (__builtin_add_overflow(total, field, &total)) return false;
  ticks.idle = fields[3] + fields[4];  // both are inside total, so this cannot overflow
  ticks.total = total;
  return true;
}

bool readProcessorTicks(ProcessorTicks& ticks) {
  char path[PATH_CAPACITY_BYTES];
  LineReader reader;
  if (!joinPath(path, sizeof path, procRoot(), "stat") || !beginPass(reader, statFile, path))
    return false;
  TextSpan line{};
  bool cut = false;
  bool found = false;
  bool parsed = false;
  while (!found && nextLine(reader, line, cut)) {
    found = isProcessorTotalLine(line);
    parsed = found && !cut && parseProcessorLine(line, ticks);
  }
  endPass(reader, statFile);
  return parsed;
}

// --- Values --------------------------------------------------------------

// Rounds to the nearest whole number and keeps it within 0..ceiling.
LONG roundedWithin(double value, double ceiling) {
  if (!(value > 0)) return 0;
  double rounded = std::floor(value + 0.5);
  return static_cast<LONG>(rounded < ceiling ? rounded : ceiling);
}

// Signed difference that cannot overflow, whichever way the counter went.
double delta(unsigned long long now, unsigned long long before) {
  return now >= before ? static_cast<double>(now - before) : -static_cast<double>(before - now);
}

LONG processorPercent(const Snapshot& latest, const Snapshot& earlier) {
  if (!earlier.hasProcessor) return 0;
  double total = delta(latest.processor.total, earlier.processor.total);
  if (total <= 0) return 0;
  double idle = delta(latest.processor.idle, earlier.processor.idle);
  return roundedWithin(100.0 * (total - idle) / total, 100.0);
}

const InterfaceBytes* findInterface(const NetworkTable& table, const char* name) {
  for (int i = 0; i < table.count; ++i)
    if (std::strcmp(table.interfaces[i].name, name) == 0) return &table.interfaces[i];
  return nullptr;
}

LONG interfaceRate(const Snapshot& latest, const Snapshot& earlier, int index, CounterKind kind) {
  if (!earlier.hasNetwork || latest.nanos <= earlier.nanos) return 0;
  const InterfaceBytes& now = latest.network.interfaces[index];
  const InterfaceBytes* before = findInterface(earlier.network, now.name);
  if (before == nullptr) return 0;  // appeared since the earlier collection
  bool receiving = kind == CounterKind::bytesReceived;
  double bytes = receiving ? delta(now.received, before->received) : delta(now.sent, before->sent);
  double seconds = static_cast<double>(latest.nanos - earlier.nanos) / NANOS_PER_SECOND;
  return roundedWithin(bytes / seconds, LARGEST_LONG);
}

bool hasSource(const Snapshot& snapshot, CounterKind kind) {
  return kind == CounterKind::processorTime ? snapshot.hasProcessor : snapshot.hasNetwork;
}

int instanceCount(const Snapshot& snapshot, CounterKind kind) {
  return kind == CounterKind::processorTime ? 1 : snapshot.network.count;
}

const char* instanceName(const Snapshot& snapshot, CounterKind kind, int index) {
  return kind == CounterKind::processorTime ? PROCESSOR_INSTANCE
                                            : snapshot.network.interfaces[index].name;
}

LONG instanceValue(const Snapshot& latest, const Snapshot& earlier, CounterKind kind, int index) {
  return kind == CounterKind::processorTime ? processorPercent(latest, earlier)
                                            : interfaceRate(latest, earlier, index, kind);
}

// Records first, then every name with its terminator, all in the caller's area.
DWORD bytesNeeded(const Snapshot& snapshot, CounterKind kind) {
  int count = instanceCount(snapshot, kind);
  std::size_t bytes = static_cast<std::size_t>(count) * sizeof(PDH_FMT_COUNTERVALUE_ITEM_A);
  for (int i = 0; i < count; ++i) bytes += std::strlen(instanceName(snapshot, kind, i)) + 1;
  return static_cast<DWORD>(bytes);
}

void fillItems(const Snapshot& latest, const Snapshot& earlier, CounterKind kind,
               PPDH_FMT_COUNTERVALUE_ITEM_A items) {
  int count = instanceCount(latest, kind);
  char* names = reinterpret_cast<char*>(items + count);
  for (int i = 0; i < count; ++i) {
    const char* name = instanceName(latest, kind, i);
    std::size_t length = std::strlen(name) + 1;
    std::memcpy(names, name, length);
    PDH_FMT_COUNTERVALUE_ITEM_A& item = items[i];
    std::memset(&item, 0, sizeof item);
    item.szName = names;
    item.FmtValue.CStatus = PDH_CSTATUS_VALID_DATA;
    item.FmtValue.longValue = instanceValue(latest, earlier, kind, i);
    names += length;
  }
}

}  // namespace

int liveQueryCount() {
  int count = 0;
  for (const QueryRecord* query = firstQuery; query != nullptr; query = query->next) ++count;
  return count;
}

PDH_STATUS PdhOpenQueryA(LPCSTR dataSource, DWORD_PTR userData, PDH_HQUERY* query) {
  (void)userData;
  if (query == nullptr) return PDH_INVALID_ARGUMENT;
  *query = nullptr;
  // Live data only; the monitor never replays a counter log.
  if (dataSource != nullptr && dataSource[0] != '\0') return PDH_INVALID_ARGUMENT;
  QueryRecord* record = new (std::nothrow) QueryRecord();
  if (record == nullptr) return PDH_MEMORY_ALLOCATION_FAILURE;
  record->next = firstQuery;
  firstQuery = record;
  *query = record;
  return ERROR_SUCCESS;
}

PDH_STATUS PdhAddCounterA(PDH_HQUERY query, LPCSTR counterPath, DWORD_PTR userData,
                          PDH_HCOUNTER* counter) {
  (void)userData;
  if (counter == nullptr) return PDH_INVALID_ARGUMENT;
  *counter = nullptr;
  QueryRecord* owner = findQuery(query);
  if (owner == nullptr) return PDH_INVALID_HANDLE;
  if (counterPath == nullptr) return PDH_INVALID_ARGUMENT;
  CounterKind kind = CounterKind::processorTime;
  PDH_STATUS status = findCounterKind(counterPath, kind);
  if (status != ERROR_SUCCESS) return status;
  CounterRecord* record = new (std::nothrow) CounterRecord{owner->counters, owner, kind};
  if (record == nullptr) return PDH_MEMORY_ALLOCATION_FAILURE;
  owner->counters = record;
  *counter = record;
  return ERROR_SUCCESS;
}

PDH_STATUS PdhRemoveCounter(PDH_HCOUNTER counter) {
  CounterRecord* record = findCounter(counter);
  if (record == nullptr) return PDH_INVALID_HANDLE;
  CounterRecord** link = &record->query->counters;
  while (*link != record) link = &(*link)->next;
  *link = record->next;
  delete record;
  return ERROR_SUCCESS;
}

PDH_STATUS PdhCloseQuery(PDH_HQUERY query) {
  QueryRecord* record = findQuery(query);
  if (record == nullptr) return PDH_INVALID_HANDLE;
  QueryRecord** link = &firstQuery;
  while (*link != record) link = &(*link)->next;
  *link = record->next;
  while (record->counters != nullptr) {
    CounterRecord* counter = record->counters;
    record->counters = counter->next;
    delete counter;
  }
  delete record;
  return ERROR_SUCCESS;
}

PDH_STATUS PdhCollectQueryData(PDH_HQUERY query) {
  QueryRecord* record = findQuery(query);
  if (record == nullptr) return PDH_INVALID_HANDLE;
  if (record->counters == nullptr) return PDH_NO_DATA;
  int next = (record->latest + 1) % SNAPSHOT_SLOTS;
  Snapshot& snapshot = record->slots[next];
  snapshot.nanos = monotonicNanos();
  snapshot.hasProcessor = queryNeeds(*record, false);
  snapshot.hasNetwork = queryNeeds(*record, true);
  if (snapshot.hasProcessor && !readProcessorTicks(snapshot.processor)) return PDH_NO_DATA;
  if (snapshot.hasNetwork && !readOutsideTraffic(snapshot.network, snapshot.nanos))
    return PDH_NO_DATA;
  record->latest = next;
  return ERROR_SUCCESS;
}

PDH_STATUS PdhGetFormattedCounterArrayA(PDH_HCOUNTER counter, DWORD format, LPDWORD bufferSize,
                                        LPDWORD itemCount, PPDH_FMT_COUNTERVALUE_ITEM_A items) {
  const CounterRecord* record = findCounter(counter);
  if (record == nullptr) return PDH_INVALID_HANDLE;
  if (bufferSize == nullptr || itemCount == nullptr) return PDH_INVALID_ARGUMENT;
  // Whole numbers only: the monitor asks for nothing else.
  if ((format & (PDH_FMT_LONG | PDH_FMT_DOUBLE | PDH_FMT_LARGE)) != PDH_FMT_LONG)
    return PDH_INVALID_ARGUMENT;
  const QueryRecord& query = *record->query;
  const Snapshot& latest = query.slots[query.latest];
  const Snapshot& earlier = query.slots[(query.latest + SNAPSHOT_SLOTS - 1) % SNAPSHOT_SLOTS];
  // Nothing collected since the counter joined its query.
  if (!hasSource(latest, record->kind)) return PDH_INVALID_DATA;
  if (record->kind != CounterKind::processorTime && latest.network.overflowed)
    return PDH_MEMORY_ALLOCATION_FAILURE;
  DWORD needed = bytesNeeded(latest, record->kind);
  DWORD count = static_cast<DWORD>(instanceCount(latest, record->kind));
  if (needed > *bufferSize || (count > 0 && items == nullptr)) {
    *bufferSize = needed;
    *itemCount = count;
    return PDH_MORE_DATA;
  }
  fillItems(latest, earlier, record->kind, items);
  *bufferSize = needed;
  *itemCount = count;
  return ERROR_SUCCESS;
}
