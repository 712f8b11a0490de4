/* A stand-in for iphlpapi.dll beside kivo.exe: Windows' interface table of
 * the chosen machine (machines.h), with the hardware and filter flags that
 * tell a hardware adapter from a virtual one and from a filter on either. */
/* The interface table's types need the socket headers first. */
#include <winsock2.h>

#include <windows.h>
#include <ws2ipdef.h>

#include <iphlpapi.h>

#include "double_log.h"
#include "machines.h"

DWORD WINAPI GetIfTable2(PMIB_IF_TABLE2* table) {
  logLine("GetIfTable2");
  if (table == NULL) return ERROR_INVALID_PARAMETER;
  int count = 0, i;
  const Adapter* adapters = machineAdapters(&count);
  SIZE_T bytes = sizeof(MIB_IF_TABLE2) + (SIZE_T)count * sizeof(MIB_IF_ROW2);
  MIB_IF_TABLE2* made = (MIB_IF_TABLE2*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, bytes);
  if (made == NULL) return ERROR_NOT_ENOUGH_MEMORY;
  made->NumEntries = (ULONG)count;
  for (i = 0; i < count; ++i) {
    MIB_IF_ROW2* row = &made->Table[i];
    row->InterfaceIndex = (NET_IFINDEX)(i + 1);
    MultiByteToWideChar(CP_ACP, 0, adapters[i].description, -1, row->Description,
                        (int)(sizeof row->Description / sizeof row->Description[0]));
    row->Type = adapters[i].hardware ? IF_TYPE_ETHERNET_CSMACD : IF_TYPE_PROP_VIRTUAL;
    row->InterfaceAndOperStatusFlags.HardwareInterface = adapters[i].hardware ? 1 : 0;
    row->InterfaceAndOperStatusFlags.FilterInterface = adapters[i].filter ? 1 : 0;
    row->OperStatus = IfOperStatusUp;
  }
  *table = made;
  return NO_ERROR;
}

VOID WINAPI FreeMibTable(PVOID memory) {
  logLine("FreeMibTable");
  if (memory != NULL) HeapFree(GetProcessHeap(), 0, memory);
}
