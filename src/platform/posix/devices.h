// DirectShow device enumeration and the kernel-streaming interfaces through
// which the module reaches the virtual capture device.
#pragma once

#include "com.h"

using LPCOLESTR = const OLECHAR*;
using ULONG_PTR = std::uintptr_t;
struct IBindCtx;
struct IErrorLog;

extern const CLSID CLSID_SystemDeviceEnum;
extern const CLSID CLSID_VideoInputDeviceCategory;
extern const IID IID_ICreateDevEnum;
extern const IID IID_IEnumMoniker;
extern const IID IID_IMoniker;
extern const IID IID_IPropertyBag;
extern const IID IID_IBaseFilter;
extern const IID IID_IKsPropertySet;
extern const IID IID_IKsControl;

constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);

struct IPropertyBag : IUnknown {
  virtual HRESULT Read(LPCOLESTR name, VARIANT* value, IErrorLog* errorLog) = 0;

 protected:
  ~IPropertyBag() = default;
};

struct IMoniker : IUnknown {
  virtual HRESULT BindToObject(IBindCtx* context, IMoniker* left, REFIID iid, void** object) = 0;
  virtual HRESULT BindToStorage(IBindCtx* context, IMoniker* left, REFIID iid, void** object) = 0;

 protected:
  ~IMoniker() = default;
};

struct IEnumMoniker : IUnknown {
  virtual HRESULT Next(ULONG count, IMoniker** monikers, ULONG* fetched) = 0;

 protected:
  ~IEnumMoniker() = default;
};

struct ICreateDevEnum : IUnknown {
  virtual HRESULT CreateClassEnumerator(REFCLSID category, IEnumMoniker** enumerator, DWORD flags) = 0;

 protected:
  ~ICreateDevEnum() = default;
};

struct IBaseFilter : IUnknown {
 protected:
  ~IBaseFilter() = default;
};

struct IKsPropertySet : IUnknown {
  virtual HRESULT Set(REFGUID set, DWORD id, void* instanceData, DWORD instanceLength, void* propertyData,
                      DWORD dataLength) = 0;
  virtual HRESULT Get(REFGUID set, DWORD id, void* instanceData, DWORD instanceLength, void* propertyData,
                      DWORD dataLength, DWORD* returned) = 0;
  virtual HRESULT QuerySupported(REFGUID set, DWORD id, DWORD* support) = 0;

 protected:
  ~IKsPropertySet() = default;
};

struct KSIDENTIFIER {
  GUID Set;
  ULONG Id;
  ULONG Flags;
};
using KSEVENT = KSIDENTIFIER;
using KSPROPERTY = KSIDENTIFIER;
using KSMETHOD = KSIDENTIFIER;
using PKSEVENT = KSEVENT*;

constexpr ULONG KSEVENT_TYPE_ENABLE = 1;
constexpr ULONG KSEVENTF_EVENT_HANDLE = 1;

struct KSEVENTDATA {
  ULONG NotificationType;
  union {
    struct {
      HANDLE Event;
      ULONG_PTR Reserved[2];
    } EventHandle;
  };
};

struct IKsControl : IUnknown {
  virtual HRESULT KsProperty(KSPROPERTY* property, ULONG propertyLength, void* data, ULONG dataLength,
                             ULONG* returned) = 0;
  virtual HRESULT KsMethod(KSMETHOD* method, ULONG methodLength, void* data, ULONG dataLength, ULONG* returned) = 0;
  virtual HRESULT KsEvent(KSEVENT* event, ULONG eventLength, void* data, ULONG dataLength, ULONG* returned) = 0;

 protected:
  ~IKsControl() = default;
};
