// Reads from outside how much of the system a running Kivo holds: its live
// GDI objects and its memory, as one line
//   gdi_objects=N private_bytes=N working_set=N
// for the soak and the benchmarks under Wine. Wine does not implement
// GetGuiResources (it returns 0), but it keeps each process's GDI handle table
// where Windows does, published in the process's PEB: 65536 cells of 24
// bytes with the object's type in byte 14, zero for a free cell.
// windows.h first: psapi.h uses its types without including it.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <psapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define GDI_CELLS 65536
#define GDI_CELL_BYTES 24
#define GDI_TYPE_OFFSET 14

// PROCESS_BASIC_INFORMATION as ntdll fills it; the PEB is the second field.
typedef struct {
  LONG ExitStatus;
  void* PebBaseAddress;
  ULONG_PTR AffinityMask;
  LONG BasePriority;
  ULONG_PTR UniqueProcessId;
  ULONG_PTR InheritedFromUniqueProcessId;
} BasicInformation;
typedef LONG(NTAPI* QueryInformationProcess)(HANDLE, ULONG, void*, ULONG, ULONG*);

// Where the PEB keeps GdiSharedHandleTable: its layout differs by pointer size.
#ifdef _WIN64
#define PEB_GDI_TABLE_OFFSET 0xF8
#else
#define PEB_GDI_TABLE_OFFSET 0x94
#endif

static int fail(const char* what) {
  fprintf(stderr, "kivo_process_probe: %s (error %lu)\n", what, GetLastError());
  return 1;
}

static int count_gdi_objects(HANDLE process, long* count) {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  FARPROC address = ntdll ? GetProcAddress(ntdll, "NtQueryInformationProcess") : NULL;
  QueryInformationProcess query = NULL;
  BasicInformation basic;
  ULONG got = 0;
  void* table = NULL;
  SIZE_T read = 0;
  unsigned char* cells;
  long i;
  if (!address) return fail("ntdll has no NtQueryInformationProcess");
  // Copied rather than cast: the function's true type is not FARPROC's.
  memcpy(&query, &address, sizeof query);
  ZeroMemory(&basic, sizeof basic);
  if (query(process, 0 /* ProcessBasicInformation */, &basic, sizeof basic, &got) != 0) {
    return fail("NtQueryInformationProcess failed");
  }
  if (!ReadProcessMemory(process, (char*)basic.PebBaseAddress + PEB_GDI_TABLE_OFFSET, &table,
                         sizeof table, &read) ||
      read != sizeof table) {
    return fail("cannot read the PEB");
  }
  if (!table) return fail("the process has no GDI handle table");
  cells = (unsigned char*)malloc((size_t)GDI_CELLS * GDI_CELL_BYTES);
  if (!cells) return fail("out of memory");
  if (!ReadProcessMemory(process, table, cells, (SIZE_T)GDI_CELLS * GDI_CELL_BYTES, &read) ||
      read != (SIZE_T)GDI_CELLS * GDI_CELL_BYTES) {
    free(cells);
    return fail("cannot read the GDI handle table");
  }
  *count = 0;
  for (i = 0; i < GDI_CELLS; ++i) {
    if (cells[(size_t)i * GDI_CELL_BYTES + GDI_TYPE_OFFSET] != 0) ++*count;
  }
  free(cells);
  return 0;
}

int main(void) {
  HWND window = FindWindowA("Kivo", NULL);
  DWORD pid = 0;
  HANDLE process;
  PROCESS_MEMORY_COUNTERS_EX memory;
  SIZE_T private_bytes;
  long gdi = 0;
  // LF only: the scripts that read this line run on Linux.
  _setmode(_fileno(stdout), _O_BINARY);
  if (!window) return fail("no window of class Kivo");
  GetWindowThreadProcessId(window, &pid);
  process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
  if (!process) return fail("cannot open the process of the Kivo window");
  if (count_gdi_objects(process, &gdi) != 0) return 1;
  ZeroMemory(&memory, sizeof memory);
  memory.cb = sizeof memory;
  if (!GetProcessMemoryInfo(process, (PROCESS_MEMORY_COUNTERS*)&memory, sizeof memory)) {
    return fail("GetProcessMemoryInfo failed");
  }
  CloseHandle(process);
  // Windows reports the commit charge in both fields; Wine 8 fills only
  // PagefileUsage for a process other than the caller (from the process's
  // anonymous resident and swapped memory), leaving PrivateUsage 0.
  private_bytes = memory.PrivateUsage ? memory.PrivateUsage : memory.PagefileUsage;
  printf("gdi_objects=%ld private_bytes=%llu working_set=%llu\n", gdi,
         (unsigned long long)private_bytes, (unsigned long long)memory.WorkingSetSize);
  return 0;
}
