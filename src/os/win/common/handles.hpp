#pragma once
// Owner types for the kernel handles used across modules.
#include <windows.h>

#include "os/win/common/owned.hpp"

namespace vth::win {

// Functions returning INVALID_HANDLE_VALUE are normalised to null before they
// are owned, so one invalid value serves every handle.
using UniqueHandle = Owned<HANDLE, CloseHandle>;

inline UniqueHandle own_file(HANDLE h) noexcept {
    return UniqueHandle(h == INVALID_HANDLE_VALUE ? nullptr : h);
}

}  // namespace vth::win
