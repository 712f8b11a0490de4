// The local time zone, settled once at start-up.
#pragma once

// With TZ unset, glibc's localtime() duplicates the zone file name and stats
// /etc/localtime on every call: a heap allocation and a system call every
// second. Naming the same file once in TZ makes later calls reuse the loaded
// zone. Daylight saving still follows the zone's rules; a change of the
// system's zone shows after a restart. A TZ the user set is left alone.
void settleLocalTimeZone();
