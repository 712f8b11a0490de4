#include "platform/linux/x11/termination.h"

#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <initializer_list>

namespace {

volatile std::sig_atomic_t terminationRequested = 0;
int wakePipe[2] = {-1, -1};

extern "C" void noteTermination(int) {
  terminationRequested = 1;
  const char wake = 1;
  // A full pipe already holds a wake-up; nothing is lost by failing here.
  [[maybe_unused]] const ssize_t written = write(wakePipe[1], &wake, 1);
}

}  // namespace

void installTerminationHandlers() {
  if (wakePipe[0] < 0 && pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  struct sigaction action {};
  action.sa_handler = noteTermination;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signalNumber : {SIGTERM, SIGINT, SIGHUP}) sigaction(signalNumber, &action, nullptr);
}

int terminationWakeFd() { return wakePipe[0]; }

bool takeTerminationRequest() {
  if (terminationRequested == 0) return false;
  terminationRequested = 0;
  char drained[64];
  while (read(wakePipe[0], drained, sizeof drained) > 0) {
  }
  return true;
}
