// The system device enumerator over a list of devices that tests and tools
// register, and the device filters with their kernel-streaming interfaces.
#include <atomic>
#include <cstring>
#include <mutex>
#include <new>

#include "posix.h"
#include "testing.h"

const CLSID CLSID_SystemDeviceEnum = {0x62BE5D10, 0x60EB, 0x11d0, {0xBD, 0x3B, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86}};
const CLSID CLSID_VideoInputDeviceCategory = {0x860BB310, 0x5D01, 0x11d0, {0xBD, 0x3B, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86}};
const IID IID_ICreateDevEnum = {0x29840822, 0x5B84, 0x11D0, {0xBD, 0x3B, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86}};
const IID IID_IEnumMoniker = {0x00000102, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_IMoniker = {0x0000000f, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_IPropertyBag = {0x55272A00, 0x42CB, 0x11CE, {0x81, 0x35, 0x00, 0xAA, 0x00, 0x4B, 0xB8, 0x51}};
const IID IID_IBaseFilter = {0x56a86895, 0x0ad4, 0x11ce, {0xb0, 0x3a, 0x00, 0x20, 0xaf, 0x0b, 0xa7, 0x70}};
const IID IID_IKsPropertySet = {0x31EFAC30, 0x515C, 0x11d0, {0xA9, 0xAA, 0x00, 0xAA, 0x00, 0x61, 0xBE, 0x93}};
const IID IID_IKsControl = {0x28F54685, 0x06FD, 0x11D2, {0xB2, 0x7A, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};

namespace {

using dlposix::FakeDevice;
using DeviceList = std::vector<std::shared_ptr<FakeDevice>>;

constexpr HRESULT E_PROP_SET_UNSUPPORTED = static_cast<HRESULT>(0x80070492u);
constexpr HRESULT E_PROP_ID_UNSUPPORTED = static_cast<HRESULT>(0x80070490u);
const GUID kPropertySet = {0xAF8E1EC0, 0x7E5F, 0x4229, {0x8D, 0x1E, 0xE8, 0x0F, 0x6F, 0x94, 0x44, 0x3F}};
const GUID kEventSet = {0xC1AD4EF6, 0x1565, 0x44EB, {0x99, 0x1B, 0xA3, 0x9F, 0x21, 0x65, 0x6F, 0x59}};

std::mutex g_devicesMutex;
DeviceList g_devices;

// Reference counting shared by the stand-in objects.
template <class Interface>
class Object : public Interface {
 public:
  ULONG AddRef() override { return references_.fetch_add(1, std::memory_order_relaxed) + 1; }
  ULONG Release() override {
    const ULONG left = references_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return left;
  }
  HRESULT QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (iid != IID_IUnknown && iid != own_) return E_NOINTERFACE;
    AddRef();
    *out = static_cast<Interface*>(this);
    return S_OK;
  }

 protected:
  explicit Object(const IID& own) : own_(own) {}
  virtual ~Object() = default;

 private:
  std::atomic<ULONG> references_{1};
  const IID& own_;
};

class Filter final : public IBaseFilter, public IKsPropertySet, public IKsControl {
 public:
  explicit Filter(std::shared_ptr<FakeDevice> device) : device_(std::move(device)) {}

  HRESULT QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (iid == IID_IUnknown || iid == IID_IBaseFilter) {
      *out = static_cast<IBaseFilter*>(this);
    } else if (iid == IID_IKsPropertySet && device_->hasPropertySet) {
      *out = static_cast<IKsPropertySet*>(this);
    } else if (iid == IID_IKsControl && device_->hasControl) {
      *out = static_cast<IKsControl*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return references_.fetch_add(1, std::memory_order_relaxed) + 1; }
  ULONG Release() override {
    const ULONG left = references_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return left;
  }

  HRESULT Set(REFGUID set, DWORD id, void* instance, DWORD instanceLength, void* data, DWORD length) override {
    if (set != kPropertySet) return E_PROP_SET_UNSUPPORTED;
    if (id != 1) return E_PROP_ID_UNSUPPORTED;
    if (instance == nullptr || instanceLength != 4 || data == nullptr) return E_INVALIDARG;
    return device_->onVideoData ? device_->onVideoData(static_cast<const BYTE*>(data), length) : S_OK;
  }
  HRESULT Get(REFGUID set, DWORD id, void* instance, DWORD instanceLength, void* data, DWORD length,
              DWORD* returned) override {
    if (set != kPropertySet) return E_PROP_SET_UNSUPPORTED;
    if (id != 2) return E_PROP_ID_UNSUPPORTED;
    if (instance == nullptr || instanceLength != 4 || data == nullptr || length != 4) return E_INVALIDARG;
    DWORD state = 0;
    HRESULT hr = S_OK;
    if (device_->onGetState) {
      hr = device_->onGetState(&state);
    } else {
      state = device_->State();
    }
    if (SUCCEEDED(hr)) {
      std::memcpy(data, &state, 4);
      if (returned != nullptr) *returned = 4;
    }
    return hr;
  }
  HRESULT QuerySupported(REFGUID, DWORD, DWORD*) override { return E_NOTIMPL; }

  HRESULT KsProperty(KSPROPERTY*, ULONG, void*, ULONG, ULONG*) override { return E_NOTIMPL; }
  HRESULT KsMethod(KSMETHOD*, ULONG, void*, ULONG, ULONG*) override { return E_NOTIMPL; }
  HRESULT KsEvent(KSEVENT* event, ULONG eventLength, void* data, ULONG dataLength, ULONG*) override {
    if (data == nullptr || dataLength < sizeof(KSEVENTDATA)) return E_INVALIDARG;
    const auto* eventData = static_cast<const KSEVENTDATA*>(data);
    if (event == nullptr) {
      if (eventLength != 0) return E_INVALIDARG;
      return device_->onEvent ? device_->onEvent(0, eventData, false) : device_->EnableEvent(0, eventData, false);
    }
    if (eventLength < sizeof(KSEVENT) || event->Set != kEventSet || event->Flags != KSEVENT_TYPE_ENABLE ||
        (event->Id != 1 && event->Id != 2) || eventData->NotificationType != KSEVENTF_EVENT_HANDLE) {
      return E_INVALIDARG;
    }
    return device_->onEvent ? device_->onEvent(event->Id, eventData, true)
                            : device_->EnableEvent(event->Id, eventData, true);
  }

 private:
  ~Filter() = default;

  std::atomic<ULONG> references_{1};
  std::shared_ptr<FakeDevice> device_;
};

class PropertyBag final : public Object<IPropertyBag> {
 public:
  explicit PropertyBag(std::shared_ptr<FakeDevice> device) : Object(IID_IPropertyBag), device_(std::move(device)) {}
  HRESULT Read(LPCOLESTR name, VARIANT* value, IErrorLog*) override {
    if (name == nullptr || value == nullptr) return E_POINTER;
    if (std::wcscmp(name, L"FriendlyName") != 0) return E_INVALIDARG;
    VariantClear(value);
    if (device_->nameType == VT_BSTR) {
      value->vt = VT_BSTR;
      value->bstrVal = SysAllocString(device_->friendlyName.c_str());
    } else {
      value->vt = device_->nameType;
      value->lVal = 0;
    }
    return S_OK;
  }

 private:
  std::shared_ptr<FakeDevice> device_;
};

class Moniker final : public Object<IMoniker> {
 public:
  explicit Moniker(std::shared_ptr<FakeDevice> device) : Object(IID_IMoniker), device_(std::move(device)) {}
  HRESULT BindToObject(IBindCtx*, IMoniker*, REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (FAILED(device_->bindResult)) return device_->bindResult;
    auto* filter = new (std::nothrow) Filter(device_);
    if (filter == nullptr) return E_OUTOFMEMORY;
    const HRESULT hr = filter->QueryInterface(iid, object);
    filter->Release();
    return hr;
  }
  HRESULT BindToStorage(IBindCtx*, IMoniker*, REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (iid != IID_IPropertyBag || device_->propertyBagFails) return E_FAIL;
    *object = static_cast<IPropertyBag*>(new PropertyBag(device_));
    return S_OK;
  }

 private:
  std::shared_ptr<FakeDevice> device_;
};

class EnumMoniker final : public Object<IEnumMoniker> {
 public:
  explicit EnumMoniker(DeviceList devices) : Object(IID_IEnumMoniker), devices_(std::move(devices)) {}
  HRESULT Next(ULONG count, IMoniker** monikers, ULONG* fetched) override {
    if (monikers == nullptr) return E_POINTER;
    ULONG n = 0;
    for (; n < count && next_ < devices_.size(); ++n) monikers[n] = new Moniker(devices_[next_++]);
    if (fetched != nullptr) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }

 private:
  DeviceList devices_;
  size_t next_ = 0;
};

class DevEnum final : public Object<ICreateDevEnum> {
 public:
  DevEnum() : Object(IID_ICreateDevEnum) {}
  HRESULT CreateClassEnumerator(REFCLSID category, IEnumMoniker** enumerator, DWORD) override {
    if (enumerator == nullptr) return E_POINTER;
    *enumerator = nullptr;
    DeviceList devices;
    {
      std::lock_guard<std::mutex> lock(g_devicesMutex);
      devices = g_devices;
    }
    if (category != CLSID_VideoInputDeviceCategory || devices.empty()) return S_FALSE;
    *enumerator = new EnumMoniker(std::move(devices));
    return S_OK;
  }
};

}  // namespace

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD, REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (outer != nullptr || clsid != CLSID_SystemDeviceEnum ||
      dlposix::TakeFault(dlposix::Fault::kCoCreateInstance, 0)) {
    return REGDB_E_CLASSNOTREG;
  }
  auto* devEnum = new DevEnum;
  const HRESULT hr = devEnum->QueryInterface(iid, object);
  devEnum->Release();
  return hr;
}

namespace dlposix {

void FakeDevice::SetStreaming(bool streaming) {
  std::lock_guard<std::mutex> lock(mutex_);
  const DWORD state = streaming ? 3 : 0;
  if (state == state_) return;
  state_ = state;
  if (const KSEVENTDATA* data = enabled_[streaming ? 1 : 2]) SetEvent(data->EventHandle.Event);
}

DWORD FakeDevice::State() {
  std::lock_guard<std::mutex> lock(mutex_);
  return state_;
}

HRESULT FakeDevice::EnableEvent(ULONG id, const KSEVENTDATA* data, bool enable) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (enable) {
    enabled_[id] = data;
    return S_OK;
  }
  for (const KSEVENTDATA*& slot : enabled_) {
    if (slot == data) {
      slot = nullptr;
      return S_OK;
    }
  }
  return E_INVALIDARG;  // nothing was enabled with that data
}

void AddDevice(std::shared_ptr<FakeDevice> device) {
  std::lock_guard<std::mutex> lock(g_devicesMutex);
  g_devices.push_back(std::move(device));
}

void ClearDevices() {
  std::lock_guard<std::mutex> lock(g_devicesMutex);
  g_devices.clear();
}

}  // namespace dlposix
