// Prints the status line a given number of times, a second apart.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "measure/status_line.h"
#include "platform/linux/readings/local_time.h"

int main(int argc, char** argv) {
  const long lines = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 5;
  settleLocalTimeZone();
  for (long i = 0; i < lines; ++i) {
    if (i > 0) sleep(1);
    composeStatusLine();
    std::printf("%s\n", StatusLine);
    std::fflush(stdout);
  }
  return 0;
}
