#pragma once
// The diagnostic events of the drop intake, raised on the thread that owns
// the drop target.
#include <cstdint>
#include <string>
#include <string_view>

#include "common/error.hpp"

namespace vth::drop {

// The HRESULT DV_E_FORMATETC: the data object offers nothing usable.
inline constexpr std::uint32_t dv_e_formatetc = 0x80040064;

// How a COM error reads in an event: the message, then the code in hex
// (only the code when the system has no message for it).
std::string hresult_error_text(std::string_view message, std::uint32_t code);

void emit_registered();
void emit_register_failed(const Error& error);
void emit_drop_parse_failed();
void emit_drop_received(std::string_view text);

}  // namespace vth::drop
