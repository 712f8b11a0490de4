/* The Windows machines the stand-in pdh.dll and iphlpapi.dll reproduce, chosen
 * by the words in KIVO_DOUBLE_MACHINE:
 *   (none)    an English Windows with one adapter, eth0
 *   german    the counters reachable only by their German paths through
 *             PdhAddCounterA, as on every Windows not in English
 *   laptop    ten adapters named as Windows names them, whose names overflow
 *             480 bytes, with WSL, Docker and a VPN moving traffic that also
 *             passes the hardware adapters
 * Each adapter appears twice, by its description as the interface table has
 * it and by the instance name PDH makes of it. */
#pragma once

#include <windows.h>

#include <string.h>

typedef struct {
  const char* description;
  const char* instance; /* NULL: a row of the interface table only */
  int hardware;
  int filter;
  LONG received;
  LONG sent;
} Adapter;

static const Adapter ONE_ADAPTER[] = {
    {"eth0", "eth0", 1, 0, 1536, 256},
};

/* Hardware: 4096 bytes/s received, 1024 sent. Every instance: 8192 and 2304. */
static const Adapter LAPTOP_ADAPTERS[] = {
    {"Intel(R) Ethernet Connection (7) I219-LM", "Intel[R] Ethernet Connection [7] I219-LM", 1, 0,
     2048, 512},
    {"Intel(R) Ethernet Connection (7) I219-LM-WFP Native MAC Layer LightWeight Filter-0000", NULL,
     1, 1, 0, 0},
    {"Intel(R) Wi-Fi 6 AX201 160MHz", "Intel[R] Wi-Fi 6 AX201 160MHz", 1, 0, 1024, 256},
    {"Intel(R) Wi-Fi 6 AX201 160MHz-Native WiFi Filter Driver-0000", NULL, 1, 1, 0, 0},
    {"Realtek USB GbE Family Controller #2", "Realtek USB GbE Family Controller _2", 1, 0, 1024,
     256},
    {"Bluetooth Device (Personal Area Network)", "Bluetooth Device [Personal Area Network]", 1, 0,
     0, 0},
    {"Hyper-V Virtual Ethernet Adapter", "Hyper-V Virtual Ethernet Adapter", 0, 0, 2048, 512},
    {"Hyper-V Virtual Ethernet Adapter-WFP 802.3 MAC Layer LightWeight Filter-0000", NULL, 0, 1, 0,
     0},
    {"Hyper-V Virtual Ethernet Adapter #2", "Hyper-V Virtual Ethernet Adapter _2", 0, 0, 1024, 256},
    {"Microsoft Wi-Fi Direct Virtual Adapter", "Microsoft Wi-Fi Direct Virtual Adapter", 0, 0, 0,
     0},
    {"Microsoft Wi-Fi Direct Virtual Adapter #2", "Microsoft Wi-Fi Direct Virtual Adapter _2", 0, 0,
     0, 0},
    {"TAP-Windows Adapter V9", "TAP-Windows Adapter V9", 0, 0, 1024, 512},
    {"Microsoft Kernel Debug Network Adapter", "Microsoft Kernel Debug Network Adapter", 0, 0, 0,
     0},
    {"Software Loopback Interface 1", NULL, 0, 0, 0, 0},
};

static int machineIs(const char* word) {
  char words[256];
  DWORD length = GetEnvironmentVariableA("KIVO_DOUBLE_MACHINE", words, sizeof words);
  if (length == 0 || length >= sizeof words) return 0;
  return strstr(words, word) != NULL;
}

static const Adapter* machineAdapters(int* count) {
  if (machineIs("laptop")) {
    *count = (int)(sizeof LAPTOP_ADAPTERS / sizeof LAPTOP_ADAPTERS[0]);
    return LAPTOP_ADAPTERS;
  }
  *count = (int)(sizeof ONE_ADAPTER / sizeof ONE_ADAPTER[0]);
  return ONE_ADAPTER;
}
