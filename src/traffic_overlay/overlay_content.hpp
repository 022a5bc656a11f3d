#pragma once
// What the GUI asks the overlay to show: everything the picture and the
// content hash are made from. Plain data, owned by whoever holds it.
#include <optional>
#include <string>
#include <vector>

#include "traffic_widget/traffic_sample.hpp"

namespace vth {

struct Feedback {
    std::string text;  // UTF-8
    bool ok = false;   // selects the colour of the bottom line
};

struct OverlayContent {
    std::string title;     // UTF-8
    std::string subtitle;  // UTF-8
    std::optional<Feedback> feedback;
    std::vector<TrafficSample> samples;  // in the order received
    bool drop_hover = false;
};

}  // namespace vth
