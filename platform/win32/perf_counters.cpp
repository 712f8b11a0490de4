// The one PDH call that cannot be made blindly: Wine 8's built-in pdh.dll has
// PdhGetFormattedCounterArrayA as an unimplemented stub, and calling it ends
// the process. Every other PDH call goes straight to the library.
#include "platform/perf_counters.h"

#include <pdhmsg.h>

#include <cstring>

// Past this point the name is the library's own export again.
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

}  // namespace

PDH_STATUS kivoPdhGetFormattedCounterArrayA(PDH_HCOUNTER counter, DWORD format, LPDWORD bufferSize,
                                            LPDWORD itemCount, PPDH_FMT_COUNTERVALUE_ITEM_A items) {
  // The loaded library cannot change while the process runs, so look once.
  if (arrayCall == ArrayCall::undecided)
    arrayCall = runningUnderWine() && pdhIsWineBuiltin() ? ArrayCall::skip : ArrayCall::make;
  if (arrayCall == ArrayCall::skip) return static_cast<PDH_STATUS>(PDH_NO_DATA);
  return PdhGetFormattedCounterArrayA(counter, format, bufferSize, itemCount, items);
}
