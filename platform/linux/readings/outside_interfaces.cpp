#include "platform/linux/readings/outside_interfaces.h"

#include <unistd.h>

#include <cstring>

#include "platform/linux/readings/line_reader.h"
#include "platform/linux/readings/reading_roots.h"

namespace {

// Interfaces a host can hold and still be told apart from one another; a
// docker host with hundreds of containers stays well inside.
constexpr int MAX_SEEN_INTERFACES = 1024;
constexpr int MAX_ROUTE_INTERFACES = 8;
constexpr unsigned long long SHARED_READ_NANOS = 1000000;
// Routes change without any interface coming or going (a VPN client or DHCP
// moving the default route): a census taken from them is retaken this often.
constexpr unsigned long long ROUTE_CENSUS_NANOS = 60ULL * 1000000000ULL;
constexpr unsigned long long ROUTE_UP = 0x0001;
constexpr unsigned long long ROUTE_REJECT = 0x0200;

// Every interface of the last read of /proc/net/dev, loopback too.
struct SeenInterfaces {
  int count;
  bool overflowed;
  InterfaceBytes interfaces[MAX_SEEN_INTERFACES];
};

// Which of the interfaces of a set of names count. Worked out again only
// when the names in /proc/net/dev change, or a root is set, or a minute after
// it was worked out from the routes.
struct Census {
  bool taken;
  bool fromRoutes;
  unsigned rootsSeen;
  unsigned long long takenAt;
  int count;
  char names[MAX_SEEN_INTERFACES][INTERFACE_NAME_BYTES];
  bool counted[MAX_SEEN_INTERFACES];
};

struct RouteInterfaces {
  int count;
  char names[MAX_ROUTE_INTERFACES][INTERFACE_NAME_BYTES];
};

struct SharedReading {
  bool valid;
  unsigned rootsSeen;
  unsigned long long nanos;
  NetworkTable table;
};

SeenInterfaces seen;
Census census;
SharedReading shared;
KeptFile netDevFile = NOT_OPENED;

// --- /proc/net/dev -------------------------------------------------------

bool copyName(TextSpan name, char* out) {
  if (name.length == 0 || name.length >= INTERFACE_NAME_BYTES) return false;
  std::memcpy(out, name.text, name.length);
  out[name.length] = '\0';
  return true;
}

// "  eth0: rx_bytes rx_packets ... (8 receive fields) tx_bytes ... (8 transmit fields)"
bool addInterfaceLine(TextSpan line, SeenInterfaces& table) {
  TextSpan name{};
  TextSpan rest{};
  if (!splitAt(line, ':', name, rest)) return false;
  skipBlanks(name);
  if (name.length == 0 || name.length >= INTERFACE_NAME_BYTES) return false;
  for (std::size_t i = 0; i < name.length; ++i)
    if (isBlank(name.text[i])) return false;
  unsigned long long received = 0;
  unsigned long long sent = 0;
  int count = 0;
  skipBlanks(rest);
  while (rest.length > 0) {
    unsigned long long value = 0;
    if (!takeNumber(rest, value)) return false;
    if (count == 0) received = value;
    if (count == 8) sent = value;
    ++count;
    skipBlanks(rest);
  }
  if (count < 9) return false;
  if (table.count == MAX_SEEN_INTERFACES) {
    table.overflowed = true;
    return true;
  }
  InterfaceBytes& entry = table.interfaces[table.count++];
  copyName(name, entry.name);
  entry.received = received;
  entry.sent = sent;
  return true;
}

bool isEmptyLine(TextSpan line) {
  skipBlanks(line);
  return line.length == 0;
}

// The kernel writes two header lines, both cut into columns by '|'.
bool isHeaderLine(TextSpan line) { return std::memchr(line.text, '|', line.length) != nullptr; }

bool readSeenInterfaces(SeenInterfaces& table) {
  char path[PATH_CAPACITY_BYTES];
  LineReader reader;
  if (!joinPath(path, sizeof path, procRoot(), "net/dev") || !beginPass(reader, netDevFile, path))
    return false;
  table.count = 0;
  table.overflowed = false;
  TextSpan line{};
  bool cut = false;
  bool good = true;
  int lineNumber = 0;
  while (good && nextLine(reader, line, cut)) {
    ++lineNumber;
    if (lineNumber <= 2)
      good = !cut && isHeaderLine(line);
    else if (!isEmptyLine(line))
      good = !cut && addInterfaceLine(line, table);
  }
  endPass(reader, netDevFile);
  return good && !reader.failed && lineNumber >= 2;
}

// --- Which interfaces count ----------------------------------------------

bool isDeviceBacked(const char* name) {
  char path[PATH_CAPACITY_BYTES];
  return joinPath(path, sizeof path, sysRoot(), "class/net", name, "device") &&
         access(path, F_OK) == 0;
}

void addRouteInterface(TextSpan name, RouteInterfaces& routes) {
  char copied[INTERFACE_NAME_BYTES];
  if (!copyName(name, copied) || std::strcmp(copied, "lo") == 0) return;
  for (int i = 0; i < routes.count; ++i)
    if (std::strcmp(routes.names[i], copied) == 0) return;
  if (routes.count < MAX_ROUTE_INTERFACES)
    std::memcpy(routes.names[routes.count++], copied, sizeof copied);
}

bool isAllZeros(TextSpan span) {
  for (std::size_t i = 0; i < span.length; ++i)
    if (span.text[i] != '0') return false;
  return span.length > 0;
}

// "Iface Destination Gateway Flags RefCnt Use Metric Mask MTU Window IRTT", in hex.
void takeIpv4RouteLine(TextSpan line, RouteInterfaces& routes) {
  TextSpan fields[8];
  for (TextSpan& field : fields)
    if (!takeWord(line, field)) return;
  unsigned long long flags = 0;
  if (!isAllZeros(fields[1]) || !isAllZeros(fields[7]) || !spanHex(fields[3], flags)) return;
  if ((flags & ROUTE_UP) != 0 && (flags & ROUTE_REJECT) == 0) addRouteInterface(fields[0], routes);
}

// "destination prefix source prefix next-hop metric refcount use flags device";
// an unreachable default sits on lo and is rejected.
void takeIpv6RouteLine(TextSpan line, RouteInterfaces& routes) {
  TextSpan fields[10];
  for (TextSpan& field : fields)
    if (!takeWord(line, field)) return;
  unsigned long long flags = 0;
  if (!isAllZeros(fields[0]) || !isAllZeros(fields[1]) || !spanHex(fields[8], flags)) return;
  if ((flags & ROUTE_UP) != 0 && (flags & ROUTE_REJECT) == 0) addRouteInterface(fields[9], routes);
}

void readRoutes(const char* file, bool ipv6, RouteInterfaces& routes) {
  char path[PATH_CAPACITY_BYTES];
  LineReader reader;
  if (!joinPath(path, sizeof path, procRoot(), file) || !openLines(reader, path)) return;
  TextSpan line{};
  bool cut = false;
  while (nextLine(reader, line, cut)) {
    if (cut) continue;
    if (ipv6)
      takeIpv6RouteLine(line, routes);
    else
      takeIpv4RouteLine(line, routes);
  }
  closeLines(reader);
}

// The IPv6 table is asked only when no IPv4 route leads out.
RouteInterfaces defaultRouteInterfaces() {
  RouteInterfaces routes{};
  readRoutes("net/route", false, routes);
  if (routes.count == 0) readRoutes("net/ipv6_route", true, routes);
  return routes;
}

bool isNamed(const RouteInterfaces& routes, const char* name) {
  for (int i = 0; i < routes.count; ++i)
    if (std::strcmp(routes.names[i], name) == 0) return true;
  return false;
}

void takeCensus(const SeenInterfaces& table, unsigned long long now) {
  census.taken = true;
  census.fromRoutes = false;
  census.takenAt = now;
  census.rootsSeen = rootsGeneration();
  census.count = table.count;
  bool anyDevice = false;
  for (int i = 0; i < table.count; ++i) {
    std::memcpy(census.names[i], table.interfaces[i].name, INTERFACE_NAME_BYTES);
    census.counted[i] = isDeviceBacked(table.interfaces[i].name);
    anyDevice = anyDevice || census.counted[i];
  }
  if (anyDevice) return;
  census.fromRoutes = true;
  const RouteInterfaces routes = defaultRouteInterfaces();
  for (int i = 0; i < table.count; ++i) census.counted[i] = isNamed(routes, census.names[i]);
}

bool censusStillHolds(const SeenInterfaces& table, unsigned long long now) {
  if (!census.taken || census.rootsSeen != rootsGeneration() || census.count != table.count)
    return false;
  if (census.fromRoutes && (now < census.takenAt || now - census.takenAt >= ROUTE_CENSUS_NANOS))
    return false;
  for (int i = 0; i < table.count; ++i)
    if (std::strcmp(census.names[i], table.interfaces[i].name) != 0) return false;
  return true;
}

void keepCounted(const SeenInterfaces& all, NetworkTable& table) {
  table.count = 0;
  table.overflowed = all.overflowed;
  for (int i = 0; i < all.count; ++i) {
    if (!census.counted[i]) continue;
    if (table.count == MAX_INTERFACES) {
      table.overflowed = true;
      return;
    }
    table.interfaces[table.count++] = all.interfaces[i];
  }
}

bool readCounted(NetworkTable& table, unsigned long long now) {
  if (!readSeenInterfaces(seen)) return false;
  if (!censusStillHolds(seen, now)) takeCensus(seen, now);
  keepCounted(seen, table);
  return true;
}

bool isFresh(const SharedReading& reading, unsigned long long now) {
  return reading.valid && reading.rootsSeen == rootsGeneration() && now >= reading.nanos &&
         now - reading.nanos < SHARED_READ_NANOS;
}

}  // namespace

bool readOutsideTraffic(NetworkTable& table, unsigned long long& nanos) {
  if (!isFresh(shared, nanos)) {
    shared.valid = readCounted(shared.table, nanos);
    shared.rootsSeen = rootsGeneration();
    shared.nanos = nanos;
    if (!shared.valid) return false;
  }
  table = shared.table;
  nanos = shared.nanos;
  return true;
}
