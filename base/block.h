// Resolving a block for the length of a scope: the block is released on every path out.
#pragma once

#include "platform/platform.h"

namespace quavr {

template <class T>
class Resolved {
 public:
  Resolved() = default;
  explicit Resolved(platform::HGLOBAL handle)
      : handle_(handle), address_(static_cast<T*>(platform::GlobalLock(handle))) {}
  ~Resolved() { reset(); }
  Resolved(const Resolved&) = delete;
  Resolved& operator=(const Resolved&) = delete;
  Resolved(Resolved&& other) noexcept : handle_(other.handle_), address_(other.release()) {}
  Resolved& operator=(Resolved&& other) noexcept {
    if (this != &other) {
      reset();
      handle_ = other.handle_;
      address_ = other.release();
    }
    return *this;
  }

  explicit operator bool() const { return address_ != nullptr; }
  T* get() const { return address_; }
  T* operator->() const { return address_; }
  T& operator*() const { return *address_; }
  T& operator[](std::size_t i) const { return address_[i]; }
  platform::HGLOBAL handle() const { return handle_; }

  // Keeps the block resolved past this scope; the caller releases it later.
  T* release() {
    T* address = address_;
    address_ = nullptr;
    return address;
  }
  void reset() {
    if (address_ != nullptr) platform::GlobalUnlock(handle_);
    address_ = nullptr;
  }

 private:
  platform::HGLOBAL handle_ = 0;
  T* address_ = nullptr;
};

}  // namespace quavr
