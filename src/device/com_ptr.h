// An owning COM interface pointer: releases its one reference when it goes.
#pragma once

namespace dl {

template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() { Reset(); }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;

  T* Get() const { return pointer_; }
  T* operator->() const { return pointer_; }
  explicit operator bool() const { return pointer_ != nullptr; }
  // For out parameters: releases what is held and gives the slot.
  T** Put() {
    Reset();
    return &pointer_;
  }
  void** PutVoid() { return reinterpret_cast<void**>(Put()); }
  void Reset() {
    if (pointer_ != nullptr) {
      T* pointer = pointer_;
      pointer_ = nullptr;
      pointer->Release();
    }
  }

 private:
  T* pointer_ = nullptr;
};

}  // namespace dl
