#pragma once
// Commands from the GUI, one JSON object per line.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "common/error.hpp"

namespace vth {

// One graph sample as received: any JSON numbers, held as 64-bit floats.
struct WireSample {
    double t = 0.0;
    double up = 0.0;
    double down = 0.0;
};

namespace command {

struct SetVisible {
    bool visible = false;
};

struct SetPosition {
    std::int32_t x = 0;
    std::int32_t y = 0;
};

struct UpdateContent {
    std::string title;
    std::string subtitle;
    std::optional<std::pair<std::string, bool>> feedback;  // text and success flag
    std::vector<WireSample> samples;
    bool drop_hover = false;
};

struct Shutdown {};

}  // namespace command

using OverlayCommand = std::variant<command::SetVisible, command::SetPosition,
                                    command::UpdateContent, command::Shutdown>;

}  // namespace vth
