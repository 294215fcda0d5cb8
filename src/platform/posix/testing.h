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
  kCoCreateInstance,  // CoCreateInstance fails with REGDB_E_CLASSNOTREG
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
// Replaces GetCurrentThreadId's answer; null restores the real one.
void SetThreadIdSource(DWORD (*source)());

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

// ---- the video input devices that enumeration finds -------------------------------

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "devices.h"

namespace dlposix {

// One video input device as the system device enumerator lists it. Without
// handlers of its own it behaves as the driver does: property 2 reports its
// streaming state, and enabled events 1 and 2 are signalled when streaming
// starts and stops (SetStreaming).
struct FakeDevice {
  std::wstring friendlyName = L"Tavrin Video Capture Card";
  VARTYPE nameType = VT_BSTR;    // any other type holds the number 0
  bool propertyBagFails = false;
  HRESULT bindResult = S_OK;     // BindToObject's answer
  bool hasPropertySet = true;
  bool hasControl = true;

  // Property 1 of the private set (video data); S_OK unless it says otherwise.
  std::function<HRESULT(const BYTE* frame, DWORD length)> onVideoData;
  // Property 2 (streaming state).
  std::function<HRESULT(DWORD* state)> onGetState;
  // Events: enabling or disabling event `id` with the caller's event data.
  std::function<HRESULT(ULONG id, const KSEVENTDATA* data, bool enable)> onEvent;

  void SetStreaming(bool streaming);
  DWORD State();
  HRESULT EnableEvent(ULONG id, const KSEVENTDATA* data, bool enable);

 private:
  std::mutex mutex_;
  DWORD state_ = 0;                        // 3 while streaming
  const KSEVENTDATA* enabled_[3] = {};     // by event id: the data that enabled it
};

// Devices in enumeration order; the list is read when an enumerator is made.
void AddDevice(std::shared_ptr<FakeDevice> device);
void ClearDevices();

}  // namespace dlposix
