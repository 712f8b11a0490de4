// The three process-wide probes. They share this one translation unit so that
// their construction order, and so the order their queries open, is fixed.
#include "measure/counter_probe.h"

const char* const CPU_COUNTER_PATH = "\\Processor(_Total)\\% Processor Time";
const char* const RECEIVED_COUNTER_PATH = "\\Network Interface(*)\\Bytes Received/sec";
const char* const SENT_COUNTER_PATH = "\\Network Interface(*)\\Bytes Sent/sec";

CounterProbe cpuProbe(CPU_COUNTER_PATH);
CounterProbe receivedProbe(RECEIVED_COUNTER_PATH);
CounterProbe sentProbe(SENT_COUNTER_PATH);
