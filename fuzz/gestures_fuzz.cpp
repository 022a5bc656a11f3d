// Random mouse input on the overlay, run through the gesture functions and
// the loop steps that take their results, checking the promises the rest of
// the program relies on:
// - interacting is reported exactly while pressed or dragging, and a drag
//   never outlives its press;
// - an action appears only after a release, a right release or a
//   double-click, and only the kinds those can raise;
// - user_moved, once set, stays set.
#include <cstddef>
#include <cstdint>

#include "fuzz_checks.hpp"
#include "traffic_overlay/gestures.hpp"

namespace {

using vth::GestureState;
using vth::OverlayAction;
using vth::ScreenPoint;

struct Input {
    const std::uint8_t* data;
    std::size_t size;
    std::uint8_t byte() {
        if (size == 0) return 0;
        --size;
        return *data++;
    }
    std::int32_t coordinate() {
        // Mostly near the window, sometimes anywhere in the 32-bit range.
        std::uint8_t kind = byte();
        std::int32_t small = static_cast<std::int8_t>(byte()) * 3;
        if (kind < 240) return 300 + small;
        std::uint32_t wide = 0;
        for (int i = 0; i < 4; ++i) wide = (wide << 8) | byte();
        return static_cast<std::int32_t>(wide);
    }
    ScreenPoint point() { return {coordinate(), coordinate()}; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using vth::fuzz::check;
    Input in{data, size};
    GestureState state;
    ScreenPoint window{300, 300};
    bool moved_before = false;
    while (in.size > 0) {
        OverlayAction before = state.pending_action;
        std::uint8_t kind = in.byte() % 7;
        switch (kind) {
            case 0:
                vth::gesture_press(state, in.point(), window);
                break;
            case 1:
                if (auto target = vth::gesture_move(state, in.point())) window = *target;
                break;
            case 2:
                vth::gesture_release(state, in.point());
                break;
            case 3:
                vth::gesture_double_click(state, in.point(), window.y);
                break;
            case 4:
                vth::gesture_right_press(state);
                break;
            case 5:
                vth::gesture_right_release(state);
                break;
            default:
                // A loop pass takes the pending action and the double-click marker.
                state.pending_action = OverlayAction::none;
                state.double_click_pending = false;
                break;
        }
        OverlayAction after = state.pending_action;
        if (after != before && after != OverlayAction::none) {
            check(kind == 2 || kind == 5, "an action without a release");
            if (kind == 5)
                check(after == OverlayAction::HideToTray, "right release raised another action");
            if (kind == 2) check(after != OverlayAction::HideToTray, "left release raised hide");
        }
        if (after == OverlayAction::none && before != OverlayAction::none) {
            check(kind == 3 || kind == 6, "an action was lost outside a double-click or a pass");
        }
        check(vth::gesture_interacting(state) == (state.press.has_value() || state.dragging),
              "interacting differs from pressed or dragging");
        check(!state.dragging || state.press.has_value(), "a drag without its press");
        check(!moved_before || state.user_moved, "user_moved went back to false");
        if (state.dragging) check(state.user_moved, "dragging without user_moved");
        moved_before = state.user_moved;
    }
    return 0;
}
