// Test hooks of the Linux platform layer: fault switches, a settable clock and
// a replaceable Bluetooth backend. Module code never includes this header.
#pragma once

#include <cstddef>

#include "win_types.h"

namespace dlposix {

enum class Fault {
  kCreateEvent,     // CreateEventW returns null
  kBeginThread,     // _beginthreadex returns 0
  kWaitMultiple,    // WaitForMultipleObjects returns WAIT_FAILED
  kHeapAlloc,       // HeapAlloc returns null
  kCreateStream,    // CreateStreamOnHGlobal fails with E_OUTOFMEMORY
  kCount
};

constexpr long kAnyValue = -1;

// The next call at `fault` whose value matches `match` (the wait's handle
// count, the allocation's size; kAnyValue for any call), after `skip` matching
// calls have passed, fails once.
void ArmFault(Fault fault, long match = kAnyValue, int skip = 0);
void DisarmFaults();
bool TakeFault(Fault fault, long value);

// Replaces GetTickCount's clock; null restores the system clock.
void SetTickSource(DWORD (*source)());

// Kernel objects currently open (events and thread handles).
long OpenHandleCount();

// The Bluetooth calls go to this backend; null restores the file-descriptor one.
struct BtBackend {
  int (*recv)(unsigned int connection, unsigned char* buffer, unsigned int* length);
  int (*disconnect)(unsigned int connection);
};
void SetBtBackend(const BtBackend* backend);

// How long the file-descriptor backend's read waits for data before it
// returns success with no bytes.
constexpr int kBtPollMilliseconds = 100;

}  // namespace dlposix
