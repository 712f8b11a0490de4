/* A stand-in for pdh.dll that the end-to-end tests put beside kivo.exe, where
 * Windows and Wine both load it before the system's own. Its counters never
 * move: processor 7 %, and on each adapter of the chosen machine (machines.h)
 * a fixed rate, so the strip's rates and load are known in advance. */
#include <windows.h>

#include <pdh.h>
#include <pdhmsg.h>
#include <string.h>

#include "double_log.h"
#include "machines.h"

#define QUERY_MAGIC 0x4b51u   /* "QK" */
#define COUNTER_MAGIC 0x4b43u /* "CK" */

typedef struct {
  unsigned magic;
} Query;

enum Measure { PROCESSOR, RECEIVED, SENT };

typedef struct {
  unsigned magic;
  Query* query;
  enum Measure measure;
} Counter;

/* The same three counters by the English paths and by the German ones. */
static const char* const ENGLISH_PATHS[] = {"\\Processor(_Total)\\% Processor Time",
                                            "\\Network Interface(*)\\Bytes Received/sec",
                                            "\\Network Interface(*)\\Bytes Sent/sec"};
static const char* const GERMAN_PATHS[] = {"\\Prozessor(_Total)\\Prozessorzeit (%)",
                                           "\\Netzwerkschnittstelle(*)\\Empfangene Bytes/s",
                                           "\\Netzwerkschnittstelle(*)\\Gesendete Bytes/s"};

static int measureOf(const char* const paths[3], const char* path) {
  int i;
  for (i = 0; i < 3; ++i)
    if (strcmp(path, paths[i]) == 0) return i;
  return -1;
}

static PDH_STATUS addCounter(PDH_HQUERY query, const char* const paths[3], LPCSTR path,
                             PDH_HCOUNTER* counter) {
  if (query == NULL || ((Query*)query)->magic != QUERY_MAGIC) return (PDH_STATUS)PDH_INVALID_HANDLE;
  if (path == NULL || counter == NULL) return (PDH_STATUS)PDH_INVALID_ARGUMENT;
  int measure = measureOf(paths, path);
  /* What Windows answers for an object it does not know by that name. */
  if (measure < 0) return (PDH_STATUS)PDH_CSTATUS_NO_OBJECT;
  Counter* made = (Counter*)HeapAlloc(GetProcessHeap(), 0, sizeof *made);
  if (made == NULL) return (PDH_STATUS)PDH_MEMORY_ALLOCATION_FAILURE;
  made->magic = COUNTER_MAGIC;
  made->query = (Query*)query;
  made->measure = (enum Measure)measure;
  *counter = made;
  return ERROR_SUCCESS;
}

PDH_STATUS WINAPI PdhOpenQueryA(LPCSTR dataSource, DWORD_PTR userData, PDH_HQUERY* query) {
  logLine("PdhOpenQueryA source=%s", dataSource ? dataSource : "(null)");
  (void)userData;
  if (query == NULL) return (PDH_STATUS)PDH_INVALID_ARGUMENT;
  Query* made = (Query*)HeapAlloc(GetProcessHeap(), 0, sizeof *made);
  if (made == NULL) return (PDH_STATUS)PDH_MEMORY_ALLOCATION_FAILURE;
  made->magic = QUERY_MAGIC;
  *query = made;
  return ERROR_SUCCESS;
}

/* Localized paths only, as on the machine's display language. */
PDH_STATUS WINAPI PdhAddCounterA(PDH_HQUERY query, LPCSTR path, DWORD_PTR userData,
                                 PDH_HCOUNTER* counter) {
  logLine("PdhAddCounterA path=%s", path ? path : "(null)");
  (void)userData;
  return addCounter(query, machineIs("german") ? GERMAN_PATHS : ENGLISH_PATHS, path, counter);
}

/* The English paths on every display language. */
PDH_STATUS WINAPI PdhAddEnglishCounterA(PDH_HQUERY query, LPCSTR path, DWORD_PTR userData,
                                        PDH_HCOUNTER* counter) {
  logLine("PdhAddEnglishCounterA path=%s", path ? path : "(null)");
  (void)userData;
  return addCounter(query, ENGLISH_PATHS, path, counter);
}

PDH_STATUS WINAPI PdhRemoveCounter(PDH_HCOUNTER counter) {
  logLine("PdhRemoveCounter");
  if (counter == NULL || ((Counter*)counter)->magic != COUNTER_MAGIC)
    return (PDH_STATUS)PDH_INVALID_HANDLE;
  ((Counter*)counter)->magic = 0;
  HeapFree(GetProcessHeap(), 0, counter);
  return ERROR_SUCCESS;
}

PDH_STATUS WINAPI PdhCollectQueryData(PDH_HQUERY query) {
  logLine("PdhCollectQueryData");
  if (query == NULL || ((Query*)query)->magic != QUERY_MAGIC) return (PDH_STATUS)PDH_INVALID_HANDLE;
  return ERROR_SUCCESS;
}

#define MAX_INSTANCES 16

typedef struct {
  const char* name;
  LONG value;
} Instance;

static DWORD instancesOf(const Counter* counter, Instance* out) {
  if (counter->measure == PROCESSOR) {
    out[0].name = "_Total";
    out[0].value = 7;
    return 1;
  }
  int adapterCount = 0, i;
  const Adapter* adapters = machineAdapters(&adapterCount);
  DWORD count = 0;
  for (i = 0; i < adapterCount && count < MAX_INSTANCES; ++i) {
    if (adapters[i].instance == NULL) continue;
    out[count].name = adapters[i].instance;
    out[count].value = counter->measure == RECEIVED ? adapters[i].received : adapters[i].sent;
    ++count;
  }
  return count;
}

/* Answers like the real library: the records first, the instance names after
 * them in the same buffer, PDH_MORE_DATA with the needed size when it is short. */
PDH_STATUS WINAPI PdhGetFormattedCounterArrayA(PDH_HCOUNTER counter, DWORD format,
                                               LPDWORD bufferSize, LPDWORD itemCount,
                                               PPDH_FMT_COUNTERVALUE_ITEM_A items) {
  static const char* const MEASURES[] = {"processor", "received", "sent"};
  int valid = counter != NULL && ((Counter*)counter)->magic == COUNTER_MAGIC;
  logLine("PdhGetFormattedCounterArrayA format=0x%lx size=%lu count=%lu of %s",
          (unsigned long)format, bufferSize ? (unsigned long)*bufferSize : 0ul,
          itemCount ? (unsigned long)*itemCount : 0ul,
          valid ? MEASURES[((Counter*)counter)->measure] : "(none)");
  if (!valid) return (PDH_STATUS)PDH_INVALID_HANDLE;
  if (bufferSize == NULL || itemCount == NULL) return (PDH_STATUS)PDH_INVALID_ARGUMENT;
  if (format != PDH_FMT_LONG) return (PDH_STATUS)PDH_INVALID_ARGUMENT;

  Instance instances[MAX_INSTANCES];
  DWORD records = instancesOf((const Counter*)counter, instances), needed = 0, i;
  for (i = 0; i < records; ++i)
    needed += (DWORD)(sizeof(PDH_FMT_COUNTERVALUE_ITEM_A) + strlen(instances[i].name) + 1);
  if (items == NULL || *bufferSize < needed) {
    *bufferSize = needed;
    *itemCount = records;
    return (PDH_STATUS)PDH_MORE_DATA;
  }
  char* name = (char*)(items + records);
  for (i = 0; i < records; ++i) {
    size_t nameBytes = strlen(instances[i].name) + 1;
    memcpy(name, instances[i].name, nameBytes);
    items[i].szName = name;
    items[i].FmtValue.CStatus = PDH_CSTATUS_VALID_DATA;
    items[i].FmtValue.longValue = instances[i].value;
    name += nameBytes;
  }
  *bufferSize = needed;
  *itemCount = records;
  return ERROR_SUCCESS;
}

PDH_STATUS WINAPI PdhCloseQuery(PDH_HQUERY query) {
  logLine("PdhCloseQuery");
  if (query == NULL || ((Query*)query)->magic != QUERY_MAGIC) return (PDH_STATUS)PDH_INVALID_HANDLE;
  ((Query*)query)->magic = 0;
  HeapFree(GetProcessHeap(), 0, query);
  return ERROR_SUCCESS;
}
