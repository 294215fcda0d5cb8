// The virtual capture device "Tavrin Video Capture Card": finding it, sending
// it frames, reading its streaming state and switching its two events.
// Every call expects COM to be initialised on the calling thread.
#pragma once

#include "platform/platform.h"

namespace dl {

// Property 1 (video data, written) and 2 (streaming state, read; 3 = streaming).
extern const GUID kDevicePropertySet;
// Event 1 (streaming started) and 2 (streaming stopped).
extern const GUID kDeviceEventSet;
constexpr DWORD kStreamingState = 3;

// The first video input device of that name; the caller releases it.
HRESULT GetDriverBaseFilter(IBaseFilter** filter);
HRESULT PutVideoData(IKsPropertySet* propertySet, const BYTE* frame, DWORD length);
HRESULT GetDriverState(IBaseFilter* filter, DWORD* state);
// `eventData` must stay allocated from enabling until after disabling.
HRESULT EnableFilterEvent(IKsControl* control, KSEVENTDATA* eventData, ULONG eventId, bool enable);

}  // namespace dl
