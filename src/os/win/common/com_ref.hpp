#pragma once
// A counted COM interface reference, released through the owner template.
#include "os/win/common/owned.hpp"

namespace vth::win {

template <typename Interface>
void release_com(Interface* object) noexcept {
    object->Release();
}

template <typename Interface>
using ComRef = Owned<Interface*, release_com<Interface>>;

}  // namespace vth::win
