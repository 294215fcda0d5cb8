#include "device/device_access.h"

#include "device/com_ptr.h"
#include "log/log.h"

namespace dl {

const GUID kDevicePropertySet = {0xAF8E1EC0, 0x7E5F, 0x4229, {0x8D, 0x1E, 0xE8, 0x0F, 0x6F, 0x94, 0x44, 0x3F}};
const GUID kDeviceEventSet = {0xC1AD4EF6, 0x1565, 0x44EB, {0x99, 0x1B, 0xA3, 0x9F, 0x21, 0x65, 0x6F, 0x59}};

namespace {

constexpr wchar_t kDeviceName[] = L"Tavrin Video Capture Card";

bool IsTheDevice(IMoniker* moniker) {
  ComPtr<IPropertyBag> bag;
  if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.PutVoid())) || !bag) return false;
  VARIANT name;
  VariantInit(&name);
  const bool match = bag->Read(L"FriendlyName", &name, nullptr) == S_OK && name.vt == VT_BSTR &&
                     name.bstrVal != nullptr && _wcsicmp(name.bstrVal, kDeviceName) == 0;
  VariantClear(&name);
  return match;
}

}  // namespace

HRESULT GetDriverBaseFilter(IBaseFilter** filter) {
  if (filter == nullptr) return E_INVALIDARG;
  ComPtr<ICreateDevEnum> devices;
  if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                              devices.PutVoid())) ||
      !devices) {
    return E_FAIL;
  }
  ComPtr<IEnumMoniker> monikers;
  if (devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, monikers.Put(), 0) != S_OK || !monikers) {
    return E_FAIL;
  }
  for (;;) {
    ComPtr<IMoniker> moniker;
    if (monikers->Next(1, moniker.Put(), nullptr) != S_OK || !moniker) return E_FAIL;
    // The first device of that name decides, even when it does not bind.
    if (IsTheDevice(moniker.Get())) {
      return moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(filter));
    }
  }
}

HRESULT PutVideoData(IKsPropertySet* propertySet, const BYTE* frame, DWORD length) {
  if (propertySet == nullptr || frame == nullptr || length == 0) return E_INVALIDARG;
  DWORD instance = 0;
  const HRESULT hr =
      propertySet->Set(kDevicePropertySet, 1, &instance, sizeof instance, const_cast<BYTE*>(frame), length);
  if (hr != S_OK) DL_ERROR("PutVideoData", "pIKsPropertySet->Set error 0x%08X", static_cast<unsigned>(hr));
  return hr;
}

HRESULT GetDriverState(IBaseFilter* filter, DWORD* state) {
  if (filter == nullptr || state == nullptr) return E_INVALIDARG;
  ComPtr<IKsPropertySet> propertySet;
  filter->QueryInterface(IID_IKsPropertySet, propertySet.PutVoid());
  if (!propertySet) return E_FAIL;
  DWORD instance = 0;
  DWORD returned = 0;
  return propertySet->Get(kDevicePropertySet, 2, &instance, sizeof instance, state, sizeof *state, &returned);
}

HRESULT EnableFilterEvent(IKsControl* control, KSEVENTDATA* eventData, ULONG eventId, bool enable) {
  if (control == nullptr || eventData == nullptr) return E_INVALIDARG;
  ULONG returned = 0;
  if (enable) {
    KSEVENT event{};
    event.Set = kDeviceEventSet;
    event.Id = eventId;
    event.Flags = KSEVENT_TYPE_ENABLE;
    const HRESULT hr = control->KsEvent(&event, sizeof event, eventData, sizeof *eventData, &returned);
    if (hr != S_OK) {
      DL_ERROR("EnableFilterEvent", "KsEvent start event %d failed 0x%08X!", static_cast<int>(eventId),
               static_cast<unsigned>(hr));
    }
    return hr;
  }
  const HRESULT hr = control->KsEvent(nullptr, 0, eventData, sizeof *eventData, &returned);
  if (hr != S_OK) {
    DL_ERROR("EnableFilterEvent", "disable event %d failed 0x%08X!", static_cast<int>(eventId),
             static_cast<unsigned>(hr));
  }
  return hr;
}

}  // namespace dl
