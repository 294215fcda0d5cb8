// The wait semantics the module relies on, as a table that runs against both
// our Linux stand-ins and the real Windows kernel. Plain C++: no test framework.
#pragma once

#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"

namespace waitcases {

struct EventSpec {
  bool manualReset;
  bool signalled;
};

struct WaitCase {
  const char* name;
  std::vector<EventSpec> events;
  std::vector<int> waitOn;    // indices into events; -1 stands for a null handle
  DWORD milliseconds;
  int signalLater;            // index set by another thread once the wait runs, or -1
  DWORD expected;             // the wait's result
  std::vector<bool> after;    // each event's state after the wait
};

inline std::vector<WaitCase> Cases() {
  const EventSpec autoOff{false, false}, autoOn{false, true}, manualOff{true, false}, manualOn{true, true};
  std::vector<WaitCase> cases = {
      {"manual signalled stays signalled", {manualOn}, {0}, 0, -1, WAIT_OBJECT_0, {true}},
      {"auto signalled is consumed", {autoOn}, {0}, 0, -1, WAIT_OBJECT_0, {false}},
      {"nothing signalled, zero time-out", {autoOff, manualOff}, {0, 1}, 0, -1, WAIT_TIMEOUT, {false, false}},
      {"nothing signalled, finite time-out", {autoOff}, {0}, 30, -1, WAIT_TIMEOUT, {false}},
      {"lowest signalled index wins, only it is consumed",
       {autoOff, autoOn, autoOn}, {0, 1, 2}, INFINITE, -1, WAIT_OBJECT_0 + 1, {false, false, true}},
      {"manual before auto leaves the auto one signalled",
       {manualOn, autoOn}, {0, 1}, 0, -1, WAIT_OBJECT_0, {true, true}},
      {"auto before manual consumes only the auto one",
       {autoOn, manualOn}, {0, 1}, INFINITE, -1, WAIT_OBJECT_0, {false, true}},
      {"list order, not creation order, decides",
       {autoOn, autoOn}, {1, 0}, 0, -1, WAIT_OBJECT_0, {true, false}},
      {"a set from another thread ends an infinite wait",
       {autoOff, autoOff, autoOff}, {0, 1, 2}, INFINITE, 2, WAIT_OBJECT_0 + 2, {false, false, false}},
      {"a set from another thread ends a finite wait",
       {manualOff, manualOff}, {0, 1}, 60000, 1, WAIT_OBJECT_0 + 1, {false, true}},
      {"a null handle fails the wait", {autoOn}, {0, -1}, 0, -1, WAIT_FAILED, {true}},
  };
  WaitCase many{"the 64th handle is reported as 63", {}, {}, 0, -1, WAIT_OBJECT_0 + 63, {}};
  for (int i = 0; i < 64; ++i) {
    many.events.push_back(i == 63 ? autoOn : autoOff);
    many.waitOn.push_back(i);
    many.after.push_back(false);
  }
  cases.push_back(many);
  return cases;
}

// Runs one case; an empty string when it holds, else what went wrong.
inline std::string Run(const WaitCase& c) {
  std::vector<HANDLE> events;
  for (const EventSpec& wanted : c.events) {
    events.push_back(CreateEventW(nullptr, wanted.manualReset ? TRUE : FALSE, wanted.signalled ? TRUE : FALSE, nullptr));
  }
  std::vector<HANDLE> list;
  for (int index : c.waitOn) list.push_back(index < 0 ? nullptr : events[static_cast<size_t>(index)]);
  std::thread setter;
  if (c.signalLater >= 0) {
    HANDLE target = events[static_cast<size_t>(c.signalLater)];
    setter = std::thread([target] { SetEvent(target); });
  }
  const DWORD result = list.size() == 1 ? WaitForSingleObject(list[0], c.milliseconds)
                                        : WaitForMultipleObjects(static_cast<DWORD>(list.size()), list.data(),
                                                                 FALSE, c.milliseconds);
  if (setter.joinable()) setter.join();
  std::string error;
  if (result != c.expected) {
    error = "result " + std::to_string(static_cast<long>(result)) + ", expected " +
            std::to_string(static_cast<long>(c.expected));
  }
  for (size_t i = 0; i < events.size(); ++i) {
    const bool signalled = WaitForSingleObject(events[i], 0) == WAIT_OBJECT_0;
    if (signalled != c.after[i]) error += " event " + std::to_string(i) + (signalled ? " signalled" : " not signalled");
    CloseHandle(events[i]);
  }
  return error;
}

}  // namespace waitcases
