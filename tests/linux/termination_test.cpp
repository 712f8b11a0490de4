#include "platform/linux/x11/termination.h"

#include <gtest/gtest.h>
#include <poll.h>

#include <csignal>
#include <initializer_list>

namespace {

bool wakeFdReadable() {
  pollfd wake{terminationWakeFd(), POLLIN, 0};
  return poll(&wake, 1, 0) == 1;
}

TEST(Termination, EachSignalWakesTheLoopOnceAndIsTakenOnce) {
  installTerminationHandlers();
  ASSERT_GE(terminationWakeFd(), 0);
  EXPECT_FALSE(takeTerminationRequest());
  for (int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
    std::raise(signalNumber);
    EXPECT_TRUE(wakeFdReadable()) << signalNumber;
    EXPECT_TRUE(takeTerminationRequest()) << signalNumber;
    EXPECT_FALSE(takeTerminationRequest()) << "taken once";
    EXPECT_FALSE(wakeFdReadable()) << "the pipe is drained";
  }
  std::signal(SIGTERM, SIG_DFL);
  std::signal(SIGINT, SIG_DFL);
  std::signal(SIGHUP, SIG_DFL);
}

}  // namespace
