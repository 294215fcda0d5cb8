// Every module-wide object, in the order of its construction at load; they are
// destroyed in reverse order at unload.
#include "log/log.h"
#include "transmit/transmission.h"

namespace dl {

LogMgr g_logMgr;

ModuleObjects::ModuleObjects()
    : manualStopEvent(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      transmissionIdleEvent(CreateEventW(nullptr, TRUE, TRUE, nullptr)),
      streamStoppedEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

ModuleObjects g_module;
TransmissionLimits g_limits;

}  // namespace dl
