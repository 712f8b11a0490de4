#include "measure/status_line.h"

#include <cmath>
#include <cstdio>
#include <ctime>

#include "measure/counter_probe.h"
#include "platform/system_status.h"

char StatusLine[STATUS_LINE_BYTES];

namespace {

constexpr double BYTES_TO_MB = 9.5367431640625e-07;  // 2^-20
constexpr double BYTES_TO_KB = 0.0009765625;         // 2^-10
constexpr BYTE LARGEST_CHARGE = 100;

void readDate(StatusReadings& readings) {
  std::time_t now = std::time(nullptr);
  const std::tm* local = std::localtime(&now);
  readings.month = local != nullptr ? local->tm_mon + 1 : 0;
  readings.day = local != nullptr ? local->tm_mday : 0;
}

void readMemoryInUse(StatusReadings& readings) {
  // 64-bit figures: the 32-bit ones cap at 2 or 4 GiB and show nonsense on
  // any machine with more memory than that.
  MEMORYSTATUSEX memory{};
  memory.dwLength = sizeof memory;
  GlobalMemoryStatusEx(&memory);
  readings.ramMB = static_cast<double>(memory.ullTotalPhys - memory.ullAvailPhys) * BYTES_TO_MB;
}

void readFreeSpaceOnC(StatusReadings& readings) {
  ULARGE_INTEGER availableToCaller{};
  ULARGE_INTEGER totalBytes{};
  ULARGE_INTEGER totalFreeBytes{};
  GetDiskFreeSpaceExA("c:\\", &availableToCaller, &totalBytes, &totalFreeBytes);
  const auto freeMB = static_cast<std::int64_t>(totalFreeBytes.QuadPart) / 1048576;
  readings.freeMB = static_cast<std::int32_t>(static_cast<std::uint32_t>(freeMB));
}

void readBatteryCharge(StatusReadings& readings) {
  // Preset to "no charge reported", so a failed call gives the plain form.
  SYSTEM_POWER_STATUS power{};
  power.BatteryLifePercent = 255;
  GetSystemPowerStatus(&power);
  readings.battery = power.BatteryLifePercent;
}

// printf rounds an exact half to even ("768.2" for 768.25); the line rounds it
// away from zero. The values are whole bytes times a power of two, so the
// scaled product is exact and std::round sees the true half.
double roundHalfAwayFromZero(double value, double scale) {
  return std::round(value * scale) / scale;
}

}  // namespace

void readClockAndSystem(StatusReadings& readings) {
  readDate(readings);
  readMemoryInUse(readings);
  readFreeSpaceOnC(readings);
  readBatteryCharge(readings);
}

void sampleProbes(StatusReadings& readings) {
  readings.cpu = cpuProbe.sample();
  readings.w = sentProbe.sample() * BYTES_TO_KB;
  readings.r = receivedProbe.sample() * BYTES_TO_KB;
}

void writeStatusLine(const StatusReadings& readings, char* line, std::size_t lineBytes) {
  const double ramMB = roundHalfAwayFromZero(readings.ramMB, 10);
  const double r = roundHalfAwayFromZero(readings.r, 100);
  const double w = roundHalfAwayFromZero(readings.w, 100);
  if (readings.battery <= LARGEST_CHARGE) {
    std::snprintf(line, lineBytes,
                  "%02d/%02d Ram %3.1f C: %d r[%7.2f] w[%7.2f] pwr: %3d%% cpu:%3d%%",
                  readings.month, readings.day, ramMB, readings.freeMB, r, w,
                  static_cast<int>(readings.battery), static_cast<int>(readings.cpu));
  } else {
    std::snprintf(line, lineBytes, "%02d/%02d Ram %3.1f C: %d r[%7.2f] w[%7.2f] cpu:%3d%%",
                  readings.month, readings.day, ramMB, readings.freeMB, r, w,
                  static_cast<int>(readings.cpu));
  }
}

void composeStatusLine() {
  StatusReadings readings{};
  readClockAndSystem(readings);
  sampleProbes(readings);
  writeStatusLine(readings, StatusLine, sizeof StatusLine);
}
