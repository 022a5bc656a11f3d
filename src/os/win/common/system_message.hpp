#pragma once
// The system's texts for Win32 error codes and HRESULTs, as errors reach the
// log and the diagnostics. Any thread.
#include <windows.h>

#include <string>

#include "common/error.hpp"

namespace vth::win {

// The system's message for code, untrimmed; empty when it has none.
std::string system_message(DWORD code);

// The system's message for code, trailing white space removed, then " (os error N)".
Error system_error(DWORD code);
inline Error last_error() {
    return system_error(GetLastError());
}

// The system's message, then the code in hex; the code alone when there is
// no message. Error::os_code holds the HRESULT.
Error hresult_error(HRESULT hr);

}  // namespace vth::win
