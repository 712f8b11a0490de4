// SIGTERM, SIGINT and SIGHUP close the strip the way Quit does, so a log-off
// or a kill keeps the run's settings. The handler only sets a flag and wakes
// the message loop through a pipe; the loop does the closing.
#pragma once

void installTerminationHandlers();
// The read end of the wake-up pipe, for the loop to wait on; -1 before installing.
int terminationWakeFd();
// True once after a signal arrived; drains the pipe.
bool takeTerminationRequest();
