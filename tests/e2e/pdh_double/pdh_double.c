/* A stand-in for pdh.dll that the end-to-end tests put beside kivo.exe, where
 * Windows and Wine both load it before the system's own. Its counters never
 * move: processor 7 %, 1536 bytes/s received on one interface, 256 bytes/s
 * sent, so the strip's rates and load are known in advance.
 *
 * When KIVO_PDH_DOUBLE_LOG names a file, every call is appended to it as one
 * line, so a test can see which paths the exe asked for and what it passed. */
#include <windows.h>

#include <pdh.h>
#include <pdhmsg.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#define QUERY_MAGIC 0x4b51u   /* "QK" */
#define COUNTER_MAGIC 0x4b43u /* "CK" */

typedef struct {
  unsigned magic;
} Query;

typedef struct {
  unsigned magic;
  Query* query;
  const char* instance;
  LONG value;
} Counter;

static void logLine(const char* format, ...) {
  char path[MAX_PATH];
  DWORD length = GetEnvironmentVariableA("KIVO_PDH_DOUBLE_LOG", path, sizeof path);
  if (length == 0 || length >= sizeof path) return;

  char line[1400];
  va_list args;
  va_start(args, format);
  int written = _vsnprintf(line, sizeof line - 2, format, args);
  va_end(args);
  if (written < 0) written = (int)sizeof line - 2;
  line[written++] = '\n';

  /* Opened per line so the file is whole whenever the process is killed. */
  HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD done;
  WriteFile(file, line, (DWORD)written, &done, NULL);
  CloseHandle(file);
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

PDH_STATUS WINAPI PdhAddCounterA(PDH_HQUERY query, LPCSTR path, DWORD_PTR userData,
                                 PDH_HCOUNTER* counter) {
  logLine("PdhAddCounterA path=%s", path ? path : "(null)");
  (void)userData;
  if (query == NULL || ((Query*)query)->magic != QUERY_MAGIC) return (PDH_STATUS)PDH_INVALID_HANDLE;
  if (path == NULL || counter == NULL) return (PDH_STATUS)PDH_INVALID_ARGUMENT;

  const char* instance;
  LONG value;
  if (strcmp(path, "\\Processor(_Total)\\% Processor Time") == 0) {
    instance = "_Total";
    value = 7;
  } else if (strcmp(path, "\\Network Interface(*)\\Bytes Received/sec") == 0) {
    instance = "eth0";
    value = 1536;
  } else if (strcmp(path, "\\Network Interface(*)\\Bytes Sent/sec") == 0) {
    instance = "eth0";
    value = 256;
  } else {
    return (PDH_STATUS)PDH_CSTATUS_BAD_COUNTERNAME;
  }
  Counter* made = (Counter*)HeapAlloc(GetProcessHeap(), 0, sizeof *made);
  if (made == NULL) return (PDH_STATUS)PDH_MEMORY_ALLOCATION_FAILURE;
  made->magic = COUNTER_MAGIC;
  made->query = (Query*)query;
  made->instance = instance;
  made->value = value;
  *counter = made;
  return ERROR_SUCCESS;
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

/* Answers like the real library: the records first, the instance names after
 * them in the same buffer, PDH_MORE_DATA with the needed size when it is short. */
PDH_STATUS WINAPI PdhGetFormattedCounterArrayA(PDH_HCOUNTER counter, DWORD format,
                                               LPDWORD bufferSize, LPDWORD itemCount,
                                               PPDH_FMT_COUNTERVALUE_ITEM_A items) {
  logLine("PdhGetFormattedCounterArrayA format=0x%lx size=%lu count=%lu", (unsigned long)format,
          bufferSize ? (unsigned long)*bufferSize : 0ul,
          itemCount ? (unsigned long)*itemCount : 0ul);
  if (counter == NULL || ((Counter*)counter)->magic != COUNTER_MAGIC)
    return (PDH_STATUS)PDH_INVALID_HANDLE;
  if (bufferSize == NULL || itemCount == NULL) return (PDH_STATUS)PDH_INVALID_ARGUMENT;
  if (format != PDH_FMT_LONG) return (PDH_STATUS)PDH_INVALID_ARGUMENT;

  const Counter* source = (const Counter*)counter;
  DWORD nameBytes = (DWORD)strlen(source->instance) + 1;
  DWORD needed = (DWORD)sizeof(PDH_FMT_COUNTERVALUE_ITEM_A) + nameBytes;
  if (items == NULL || *bufferSize < needed) {
    *bufferSize = needed;
    *itemCount = 1;
    return (PDH_STATUS)PDH_MORE_DATA;
  }
  char* name = (char*)(items + 1);
  memcpy(name, source->instance, nameBytes);
  items[0].szName = name;
  items[0].FmtValue.CStatus = PDH_CSTATUS_VALID_DATA;
  items[0].FmtValue.longValue = source->value;
  *bufferSize = needed;
  *itemCount = 1;
  return ERROR_SUCCESS;
}

PDH_STATUS WINAPI PdhCloseQuery(PDH_HQUERY query) {
  logLine("PdhCloseQuery");
  if (query == NULL || ((Query*)query)->magic != QUERY_MAGIC) return (PDH_STATUS)PDH_INVALID_HANDLE;
  ((Query*)query)->magic = 0;
  HeapFree(GetProcessHeap(), 0, query);
  return ERROR_SUCCESS;
}
