// A growable in-memory stream, freed with its last reference: the stand-in for
// CreateStreamOnHGlobal(NULL, TRUE, ...).
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include "posix.h"
#include "testing.h"

const IID IID_ISequentialStream = {0x0c733a30, 0x2a1c, 0x11ce, {0xad, 0xe5, 0x00, 0xaa, 0x00, 0x44, 0x77, 0x3d}};
const IID IID_IStream = {0x0000000c, 0x0000, 0x0000, {0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

namespace {

class MemoryStream final : public IStream {
 public:
  HRESULT QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_ISequentialStream || iid == IID_IStream) {
      AddRef();
      *object = static_cast<IStream*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return references_.fetch_add(1, std::memory_order_relaxed) + 1; }
  ULONG Release() override {
    const ULONG left = references_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return left;
  }

  HRESULT Read(void* buffer, ULONG bytes, ULONG* read) override {
    if (buffer == nullptr && bytes != 0) return E_POINTER;
    const std::size_t available = position_ < size_ ? size_ - position_ : 0;
    const ULONG n = bytes < available ? bytes : static_cast<ULONG>(available);
    if (n != 0) std::memcpy(buffer, data_ + position_, n);
    position_ += n;
    if (read != nullptr) *read = n;
    return S_OK;
  }

  HRESULT Write(const void* buffer, ULONG bytes, ULONG* written) override {
    if (written != nullptr) *written = 0;
    if (buffer == nullptr && bytes != 0) return E_POINTER;
    const std::size_t end = position_ + bytes;
    if (end > capacity_ && !Grow(end)) return E_OUTOFMEMORY;
    if (bytes != 0) std::memcpy(data_ + position_, buffer, bytes);
    position_ = end;
    if (end > size_) size_ = end;
    if (written != nullptr) *written = bytes;
    return S_OK;
  }

  HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override {
    LONGLONG base;
    switch (origin) {
      case STREAM_SEEK_SET: base = 0; break;
      case STREAM_SEEK_CUR: base = static_cast<LONGLONG>(position_); break;
      case STREAM_SEEK_END: base = static_cast<LONGLONG>(size_); break;
      default: return STG_E_INVALIDFUNCTION;
    }
    const LONGLONG target = base + move.QuadPart;
    if (target < 0) return STG_E_INVALIDFUNCTION;
    position_ = static_cast<std::size_t>(target);
    if (position != nullptr) position->QuadPart = static_cast<ULONGLONG>(position_);
    return S_OK;
  }

  HRESULT SetSize(ULARGE_INTEGER size) override {
    const std::size_t wanted = static_cast<std::size_t>(size.QuadPart);
    if (wanted > capacity_ && !Grow(wanted)) return E_OUTOFMEMORY;
    if (wanted > size_) std::memset(data_ + size_, 0, wanted - size_);
    size_ = wanted;
    return S_OK;
  }

  HRESULT Stat(STATSTG* stat, DWORD) override {
    if (stat == nullptr) return E_POINTER;
    stat->pwcsName = nullptr;
    stat->type = STGTY_STREAM;
    stat->cbSize.QuadPart = size_;
    return S_OK;
  }

 private:
  ~MemoryStream() { std::free(data_); }

  bool Grow(std::size_t needed) {
    std::size_t capacity = capacity_ != 0 ? capacity_ : 4096;
    while (capacity < needed) capacity *= 2;
    void* grown = std::realloc(data_, capacity);
    if (grown == nullptr) return false;
    data_ = static_cast<BYTE*>(grown);
    capacity_ = capacity;
    return true;
  }

  std::atomic<ULONG> references_{1};
  BYTE* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
  std::size_t position_ = 0;
};

}  // namespace

HRESULT CreateStreamOnHGlobal(HGLOBAL global, BOOL deleteOnRelease, IStream** stream) {
  if (stream == nullptr) return E_INVALIDARG;
  *stream = nullptr;
  if (global != nullptr || deleteOnRelease == FALSE) return E_NOTIMPL;
  if (dlposix::TakeFault(dlposix::Fault::kCreateStream, 0)) return E_OUTOFMEMORY;
  auto* created = new (std::nothrow) MemoryStream;
  if (created == nullptr) return E_OUTOFMEMORY;
  *stream = created;
  return S_OK;
}
