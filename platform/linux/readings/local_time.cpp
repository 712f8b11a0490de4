#include "platform/linux/readings/local_time.h"

#include <cstdlib>
#include <ctime>

void settleLocalTimeZone() {
  if (std::getenv("TZ") == nullptr) setenv("TZ", ":/etc/localtime", 0);
  tzset();
}
