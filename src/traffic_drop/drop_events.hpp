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

void emit_registered();
void emit_register_failed(const Error& error);
void emit_drop_parse_failed();
void emit_drop_received(std::string_view text);

}  // namespace vth::drop
