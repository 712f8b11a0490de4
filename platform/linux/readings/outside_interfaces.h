// The network interfaces whose bytes are the machine's own traffic with the
// outside world, each counted once, read from /proc/net/dev.
//
// Those are the interfaces backed by a device (/sys/class/net/IF/device:
// Ethernet, Wi-Fi, WWAN, USB tethering, virtio). Bridges, veth pairs, tun and
// tap, bonds, VLANs, WireGuard, ifb and dummies carry bytes that a device
// already counted. With no device at all (in a container, on an odd VM) the
// interfaces of the default route stand in.
#pragma once

#include <cstddef>

// More counted interfaces than this could never fit a caller's area anyway
// (the probe has room for twenty records).
constexpr int MAX_INTERFACES = 64;
constexpr std::size_t INTERFACE_NAME_BYTES = 16;  // the kernel's IFNAMSIZ

struct InterfaceBytes {
  char name[INTERFACE_NAME_BYTES];
  unsigned long long received;
  unsigned long long sent;
};

struct NetworkTable {
  int count;
  bool overflowed;  // more counted interfaces than the table holds
  InterfaceBytes interfaces[MAX_INTERFACES];
};

// Fills table with the counted interfaces and nanos with when they were read.
// A reading less than a millisecond old is handed out again, so the two
// network queries of one refresh share one read. False when /proc/net/dev
// cannot be read or parsed.
bool readOutsideTraffic(NetworkTable& table, unsigned long long& nanos);
