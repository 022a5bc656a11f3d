#pragma once
// One RAII owner for every Win32 handle, GDI object, DC and COM reference:
// the release function is part of the type, so a DC from GetDC can never be
// freed with DeleteDC by mistake. Move-only; copying would double-release.
#include <utility>

namespace vth::win {

template <typename T, auto Release, T Invalid = T{}>
class Owned {
  public:
    Owned() noexcept = default;
    explicit Owned(T value) noexcept : value_(value) {}
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    Owned(Owned&& other) noexcept : value_(std::exchange(other.value_, Invalid)) {}
    Owned& operator=(Owned&& other) noexcept {
        if (this != &other) reset(std::exchange(other.value_, Invalid));
        return *this;
    }
    ~Owned() { reset(); }

    T get() const noexcept { return value_; }
    explicit operator bool() const noexcept { return value_ != Invalid; }
    T release() noexcept { return std::exchange(value_, Invalid); }
    void reset(T value = Invalid) noexcept {
        T old = std::exchange(value_, value);
        if (old != Invalid) Release(old);
    }

  private:
    T value_ = Invalid;
};

}  // namespace vth::win
