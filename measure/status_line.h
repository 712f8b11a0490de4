// The one line of text the performance view shows.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/base_types.h"

constexpr std::size_t STATUS_LINE_BYTES = 200;

// The last composed line; empty until the first composition.
extern char StatusLine[STATUS_LINE_BYTES];

void composeStatusLine();

// The readings of one composition, in the order they are taken.
struct StatusReadings {
  int month;
  int day;
  double ramMB;
  std::int32_t freeMB;
  BYTE battery;
  LONG cpu;
  double w;
  double r;
};

// The steps of a composition, kept apart so each can be measured on its own.
void readClockAndSystem(StatusReadings& readings);
void sampleProbes(StatusReadings& readings);
void writeStatusLine(const StatusReadings& readings, char* line, std::size_t lineBytes);
