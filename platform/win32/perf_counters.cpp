// The PDH calls that cannot be made blindly.
// - Adding: a counter path in English is refused by PdhAddCounterA on every
//   Windows not in English, so the English call goes first.
// - Formatting: Wine 8's built-in pdh.dll has PdhGetFormattedCounterArrayA as
//   an unimplemented stub, and calling it ends the process. Elsewhere the
//   answer lands in an area of this layer's own, grown to what PDH asks for
//   (long adapter names overflow the caller's), and the caller is handed the
//   instances that carry traffic of their own.
// - Removing: the counter's area goes with it.
// Every other PDH call goes straight to the library.
#include "platform/perf_counters.h"

#include <pdhmsg.h>

// The interface table's types need the socket headers before it.
#include <winsock2.h>
#include <ws2ipdef.h>

#include <iphlpapi.h>

#include <cstring>

#include "platform/win32/adapter_names.h"

// Past this point the names are the library's own exports again.
#undef PdhAddCounterA
#undef PdhRemoveCounter
#undef PdhGetFormattedCounterArrayA

namespace {

enum class ArrayCall { undecided, make, skip };
ArrayCall arrayCall = ArrayCall::undecided;

bool runningUnderWine() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// Wine marks the PE images of its built-in DLLs in the DOS stub area; a native
// pdh.dll (Windows' own, or one placed beside the exe) never carries the mark.
bool pdhIsWineBuiltin() {
  HMODULE pdh = GetModuleHandleA("pdh.dll");
  if (pdh == nullptr) return false;
  static const char mark[] = "Wine builtin DLL";
  return std::memcmp(reinterpret_cast<const char*>(pdh) + 0x40, mark, sizeof mark - 1) == 0;
}

// Exports looked up at run time: absent from older systems, and the exe must
// start without them.
template <typename Call>
Call exportOf(HMODULE module, const char* name) {
  FARPROC found = module != nullptr ? GetProcAddress(module, name) : nullptr;
  return reinterpret_cast<Call>(reinterpret_cast<void (*)()>(found));
}

using AddEnglishCounterCall = PDH_STATUS(WINAPI*)(PDH_HQUERY, LPCSTR, DWORD_PTR, PDH_HCOUNTER*);
using GetIfTable2Call = DWORD(WINAPI*)(PMIB_IF_TABLE2*);
using FreeMibTableCall = VOID(WINAPI*)(PVOID);

struct InterfaceTableCalls {
  bool looked;
  GetIfTable2Call getTable;
  FreeMibTableCall freeTable;
};
InterfaceTableCalls interfaceTable{};

// One counter's own result area. It keeps the largest size PDH asked for, so
// a steady machine allocates nothing per sample.
struct CounterArea {
  PDH_HCOUNTER counter;
  bool adapters;  // instances are network adapters: only hardware ones count
  BYTE* bytes;
  DWORD capacity;
  unsigned char* counted;  // per instance: 1 when its value is handed over
  DWORD countedCapacity;
  bool chosen;  // counted belongs to the instance names of signature
  DWORD signature;
};

// The probes hold three counters; spare slots cover a path being replaced.
constexpr int AREA_SLOTS = 8;
CounterArea areas[AREA_SLOTS];

const char NETWORK_OBJECT[] = "\\Network Interface(";

CounterArea* areaOf(PDH_HCOUNTER counter) {
  if (counter == nullptr) return nullptr;
  for (CounterArea& area : areas)
    if (area.counter == counter) return &area;
  return nullptr;
}

void rememberCounter(PDH_HCOUNTER counter, LPCSTR path) {
  // Without a free slot the counter is formatted as the caller asks, as before.
  for (CounterArea& area : areas) {
    if (area.counter != nullptr) continue;
    area.counter = counter;
    area.adapters = std::strncmp(path, NETWORK_OBJECT, sizeof NETWORK_OBJECT - 1) == 0;
    return;
  }
}

void forgetCounter(PDH_HCOUNTER counter) {
  CounterArea* area = areaOf(counter);
  if (area == nullptr) return;
  if (area->bytes != nullptr) HeapFree(GetProcessHeap(), 0, area->bytes);
  if (area->counted != nullptr) HeapFree(GetProcessHeap(), 0, area->counted);
  *area = CounterArea{};
}

// The old contents are not kept: every use rewrites them whole.
bool growTo(BYTE*& block, DWORD& capacity, DWORD wanted) {
  BYTE* grown = static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), 0, wanted));
  if (grown == nullptr) return false;
  if (block != nullptr) HeapFree(GetProcessHeap(), 0, block);
  block = grown;
  capacity = wanted;
  return true;
}

PDH_FMT_COUNTERVALUE_ITEM_A* recordsOf(CounterArea& area) {
  return reinterpret_cast<PDH_FMT_COUNTERVALUE_ITEM_A*>(area.bytes);
}

// Starts at the caller's size, so a machine whose answer fits asks PDH
// exactly what the caller asked. Instances may appear between the two calls,
// hence a few tries.
PDH_STATUS formatIntoArea(CounterArea& area, DWORD format, DWORD callerSize, DWORD& count) {
  if (area.capacity < callerSize && !growTo(area.bytes, area.capacity, callerSize))
    return static_cast<PDH_STATUS>(PDH_MEMORY_ALLOCATION_FAILURE);
  for (int attempt = 0; attempt < 3; ++attempt) {
    DWORD size = area.capacity;
    count = area.capacity / sizeof(PDH_FMT_COUNTERVALUE_ITEM_A);
    PDH_STATUS status =
        PdhGetFormattedCounterArrayA(area.counter, format, &size, &count, recordsOf(area));
    if (status != static_cast<PDH_STATUS>(PDH_MORE_DATA) || size <= area.capacity) return status;
    if (!growTo(area.bytes, area.capacity, size))
      return static_cast<PDH_STATUS>(PDH_MEMORY_ALLOCATION_FAILURE);
  }
  return static_cast<PDH_STATUS>(PDH_MORE_DATA);
}

InterfaceTableCalls& interfaceTableCalls() {
  if (!interfaceTable.looked) {
    interfaceTable.looked = true;
    HMODULE iphlpapi = LoadLibraryA("iphlpapi.dll");
    interfaceTable.getTable = exportOf<GetIfTable2Call>(iphlpapi, "GetIfTable2");
    interfaceTable.freeTable = exportOf<FreeMibTableCall>(iphlpapi, "FreeMibTable");
  }
  return interfaceTable;
}

void markFromInterfaceTable(const PDH_FMT_COUNTERVALUE_ITEM_A* records, DWORD count,
                            unsigned char* counted) {
  InterfaceTableCalls& calls = interfaceTableCalls();
  PMIB_IF_TABLE2 table = nullptr;
  if (calls.getTable == nullptr || calls.freeTable == nullptr) return;
  if (calls.getTable(&table) != NO_ERROR || table == nullptr) return;
  // PDH's ANSI names are the wide ones in the system code page, at most two
  // bytes a character.
  char description[2 * sizeof table->Table[0].Description / sizeof(WCHAR)];
  for (ULONG i = 0; i < table->NumEntries; ++i) {
    const MIB_IF_ROW2& row = table->Table[i];
    if (WideCharToMultiByte(CP_ACP, 0, row.Description, -1, description, sizeof description,
                            nullptr, nullptr) == 0)
      continue;
    AdapterRow adapter{description, row.InterfaceAndOperStatusFlags.HardwareInterface != 0,
                       row.InterfaceAndOperStatusFlags.FilterInterface != 0};
    markHardwareInstances(records, count, adapter, counted);
  }
  calls.freeTable(table);
}

// The interface table is read only when the instance names change.
bool chooseInstances(CounterArea& area, DWORD count) {
  if (count == 0) return true;
  if (count > area.countedCapacity) {
    if (!growTo(area.counted, area.countedCapacity, count)) return false;
    area.chosen = false;
  }
  if (!area.adapters) {
    std::memset(area.counted, 1, count);
    return true;
  }
  DWORD signature = instanceSignature(recordsOf(area), count);
  if (area.chosen && signature == area.signature) return true;
  std::memset(area.counted, 0, count);
  markFromInterfaceTable(recordsOf(area), count, area.counted);
  countEveryInstanceIfNoneMarked(area.counted, count);
  area.signature = signature;
  area.chosen = true;
  return true;
}

}  // namespace

PDH_STATUS kivoPdhAddCounterA(PDH_HQUERY query, LPCSTR path, DWORD_PTR userData,
                              PDH_HCOUNTER* counter) {
  AddEnglishCounterCall addEnglish =
      exportOf<AddEnglishCounterCall>(GetModuleHandleA("pdh.dll"), "PdhAddEnglishCounterA");
  PDH_STATUS status = addEnglish != nullptr ? addEnglish(query, path, userData, counter)
                                            : static_cast<PDH_STATUS>(PDH_CSTATUS_NO_OBJECT);
  if (status != ERROR_SUCCESS) status = PdhAddCounterA(query, path, userData, counter);
  if (status == ERROR_SUCCESS && counter != nullptr && path != nullptr)
    rememberCounter(*counter, path);
  return status;
}

PDH_STATUS kivoPdhRemoveCounter(PDH_HCOUNTER counter) {
  forgetCounter(counter);
  return PdhRemoveCounter(counter);
}

PDH_STATUS kivoPdhGetFormattedCounterArrayA(PDH_HCOUNTER counter, DWORD format, LPDWORD bufferSize,
                                            LPDWORD itemCount, PPDH_FMT_COUNTERVALUE_ITEM_A items) {
  // The loaded library cannot change while the process runs, so look once.
  if (arrayCall == ArrayCall::undecided)
    arrayCall = runningUnderWine() && pdhIsWineBuiltin() ? ArrayCall::skip : ArrayCall::make;
  if (arrayCall == ArrayCall::skip) return static_cast<PDH_STATUS>(PDH_NO_DATA);

  CounterArea* area = areaOf(counter);
  if (area == nullptr || bufferSize == nullptr || itemCount == nullptr || items == nullptr)
    return PdhGetFormattedCounterArrayA(counter, format, bufferSize, itemCount, items);
  DWORD count = 0;
  PDH_STATUS status = formatIntoArea(*area, format, *bufferSize, count);
  if (status != ERROR_SUCCESS) return status;
  if (!chooseInstances(*area, count)) return static_cast<PDH_STATUS>(PDH_MEMORY_ALLOCATION_FAILURE);
  // The records handed over name instances in this layer's area, which stays
  // as it is until the counter's next formatting.
  *itemCount =
      handOverCounted(recordsOf(*area), count, area->counted, items, *bufferSize / sizeof *items);
  return ERROR_SUCCESS;
}
