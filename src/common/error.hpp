#pragma once
// The error value every fallible operation returns. No exceptions cross module
// boundaries: callers get std::expected<T, Error>.
#include <cstdint>
#include <expected>
#include <string>
#include <string_view>
#include <utility>

namespace vth {

struct Error {
    std::string text;  // exactly what the log shows
    long os_code = 0;  // system error code or HRESULT, 0 when there is none
};

template <typename T>
using Result = std::expected<T, Error>;

inline std::unexpected<Error> fail(std::string text, long os_code = 0) {
    return std::unexpected(Error{std::move(text), os_code});
}

// The form in which a system error reaches the log: the system's message with
// trailing white space removed, then " (os error N)".
std::string os_error_text(std::string_view system_message, long code);

// How a COM error reads: the message, then the code in hex (only the code
// when the system has no message for it).
std::string hresult_error_text(std::string_view message, std::uint32_t code);

}  // namespace vth
