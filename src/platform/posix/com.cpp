// COM on Linux: apartments are per-thread counters; VARIANT and BSTR.
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <new>

#include "posix.h"
#include "testing.h"

const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

namespace {
thread_local int t_apartments = 0;
}

HRESULT CoInitializeEx(void*, DWORD model) {
  if (model != COINIT_MULTITHREADED) return E_INVALIDARG;
  return t_apartments++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize() {
  if (t_apartments > 0) --t_apartments;
}

void VariantInit(VARIANT* variant) {
  variant->vt = VT_EMPTY;
  variant->lVal = 0;
}

HRESULT VariantClear(VARIANT* variant) {
  if (variant->vt == VT_BSTR) SysFreeString(variant->bstrVal);
  VariantInit(variant);
  return S_OK;
}

BSTR SysAllocString(const OLECHAR* text) {
  if (text == nullptr) return nullptr;
  const std::size_t length = std::wcslen(text);
  auto* copy = static_cast<BSTR>(std::malloc((length + 1) * sizeof(OLECHAR)));
  if (copy != nullptr) std::wmemcpy(copy, text, length + 1);
  return copy;
}

void SysFreeString(BSTR text) { std::free(text); }
