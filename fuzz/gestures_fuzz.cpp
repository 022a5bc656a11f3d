// Random mouse input on the overlay, run through the gesture functions and
// the loop steps that take their results, checking the promises the rest of
// the program relies on:
// - interacting is reported exactly while pressed or dragging, and a drag
//   never outlives its press;
// - an action appears only after a release, a right release or a
//   double-click, and only the kinds those can raise;
// - user_moved, once set, stays set;
// - a cursor or window the system could not read changes nothing, except
//   that a release still ends the gesture.
#include <cstddef>
#include <cstdint>
#include <optional>

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
    // Now and then nothing, as when another desktop has the input.
    std::optional<ScreenPoint> readable_point() {
        if (byte() % 16 == 0) return std::nullopt;
        return point();
    }
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
        const GestureState old = state;
        std::uint8_t kind = in.byte() % 7;
        const std::optional<ScreenPoint> cursor = kind < 4 ? in.readable_point() : std::nullopt;
        const std::optional<ScreenPoint> origin =
            kind == 0 || kind == 3 ? in.readable_point() : std::optional<ScreenPoint>(window);
        switch (kind) {
            case 0:
                vth::gesture_press(state, cursor, origin);
                break;
            case 1:
                if (auto target = vth::gesture_move(state, cursor)) window = *target;
                break;
            case 2:
                vth::gesture_release(state, cursor);
                break;
            case 3:
                vth::gesture_double_click(state, cursor, origin);
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
        if (kind == 2 && !cursor) {
            check(!state.press && !state.dragging, "an unreadable release left the press");
            check(state.pending_action == old.pending_action ||
                      state.pending_action == OverlayAction::DragEnded,
                  "an unreadable release raised a click");
        } else if (kind < 4 && (!cursor || !origin)) {
            check(state.pending_action == old.pending_action && state.dragging == old.dragging &&
                      state.press.has_value() == old.press.has_value() &&
                      state.user_moved == old.user_moved &&
                      state.double_click_pending == old.double_click_pending,
                  "an unreadable cursor or window changed the gesture");
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
