// The self-test's OLE drag of a link onto the overlay: the hover as the
// user sees it, the drop's effect, and the picture after it.
#include <algorithm>
#include <thread>

#include "common/os.hpp"
#include "self_test_session.hpp"

namespace vth::peer {
namespace {

using namespace std::chrono_literals;

constexpr auto hover_timeout = 3s;
constexpr auto picture_timeout = 2s;
// The hover look must be gone this soon after the drop.
constexpr auto back_timeout = 1500ms;
constexpr std::uint32_t drop_effect_copy = 1;
constexpr long drag_drop_s_drop = 0x00040100;

std::string file_text(const std::string& path) {
    auto text = os::read_file(path);
    return text ? *text : std::string();
}

std::string picture_text(const std::optional<Capture>& before,
                         const std::optional<Capture>& after) {
    if (!before || !after) return "no screen capture";
    return std::to_string(pixels_changed(*before, *after)) + " pixels changed, hint " +
           std::to_string(hint_pixels(*after)) + " pixels";
}

}  // namespace

Session::Hover Session::drag_over_overlay(ScreenPoint source, std::size_t mark,
                                          const std::optional<Capture>& before) {
    Hover hover;
    const ScreenPoint target = on_overlay({104, 80});
    wait_out_double_click();
    (void)desktop_.move_to(source);
    std::this_thread::sleep_for(input_pace);
    (void)desktop_.press(MouseButton::left, true);
    glide(source, target, 12);
    const auto arrived = Clock::now();
    // Small moves over the target keep the drag loop calling DragOver.
    int step = 0;
    const auto wiggle = [&] { (void)desktop_.move_to({target.x + (step++ % 2), target.y}); };
    while (!hover.state && Clock::now() < arrived + hover_timeout) {
        wiggle();
        hover.state = wait_report(
            mark, [](const HelperReport& r) { return r.type == "state" && r.hovering == true; },
            50ms);
    }
    hover.after = std::chrono::duration_cast<milliseconds>(Clock::now() - arrived);
    const auto shown = Clock::now();
    while (hover.state && before && Clock::now() < shown + picture_timeout) {
        hover.picture = desktop_.capture(overlay_);
        if (hover.picture && hover_drawn(*before, *hover.picture)) break;
        wiggle();
        std::this_thread::sleep_for(input_pace);
    }
    hover.released = Clock::now();
    release(MouseButton::left);
    return hover;
}

void Session::check_ole_drag() {
    const std::string url = self_test_url(token_);
    const ScreenRect place = drag_source_place(overlay_, work_area());
    const ForegroundFacts foreground = desktop_.foreground();
    auto opened = desktop_.open_drag_source(place, url);
    // The picture the user sees before anything is dragged over it.
    const auto before = desktop_.capture(overlay_);
    const std::size_t mark = reports_.size();
    Hover hover;
    if (opened) {
        const ScreenPoint source{(place.left + place.right) / 2, (place.top + place.bottom) / 2};
        hover = drag_over_overlay(source, mark, before);
    }
    const bool drawn = before && hover.picture && hover_drawn(*before, *hover.picture);
    record("ole-drag-hover", hover.state && drawn,
           !opened       ? "no drag source: " + opened.error().text
           : hover.state ? "hovering=true after " + std::to_string(hover.after.count()) + "ms, " +
                               (drawn ? "hover picture drawn: " : "hover picture not drawn: ") +
                               picture_text(before, hover.picture)
                         : "no state with hovering=true while over the overlay");
    check_drop(url, mark, foreground, before, opened ? hover.released : Clock::now());
    desktop_.close_drag_source();
}

void Session::check_drop(const std::string& url, std::size_t mark,
                         const ForegroundFacts& foreground, const std::optional<Capture>& before,
                         Clock::time_point released) {
    const auto outcome = desktop_.drag_outcome(5s);
    const auto dropped = wait_report(
        mark, [](const HelperReport& r) { return r.type == "textDropped"; }, reply_timeout);
    // Within a moment of the drop the hover is over, in the state and on screen.
    std::optional<Capture> after;
    bool left = false;
    bool back = false;
    while (!(left && back) && Clock::now() < released + back_timeout) {
        left =
            left || reports_
                        .wait_for(
                            mark,
                            [&](const HelperReport& r) {
                                return r.type == "state" && r.hovering == false && r.at >= released;
                            },
                            Clock::now())
                        .has_value();
        after = desktop_.capture(overlay_);
        back = before && after && picture_back(*before, *after);
        if (!(left && back)) std::this_thread::sleep_for(20ms);
    }
    const std::string log_line = drop_log_line(url);
    bool logged = false;
    // The helper logs the drop before it sends it.
    wait_until(
        [&] {
            const auto messages = log_messages(file_text(vestrilon_file("traffic-helper.log")));
            logged = std::find(messages.begin(), messages.end(), log_line) != messages.end();
            return logged;
        },
        1s);
    const std::vector<EventName> expected{"textDropped"};
    const std::string difference = events_difference(settled_events(mark, 1), expected);
    const bool text = dropped && dropped->text == url;
    const bool copied =
        outcome && outcome->result == drag_drop_s_drop && outcome->effect == drop_effect_copy;
    std::string figure = dropped
                             ? (text ? "textDropped " + url
                                     : "textDropped " + dropped->text + " (offered " + url + ")")
                             : "no textDropped";
    figure += outcome ? " effect=" + std::to_string(outcome->effect) +
                            (outcome->effect == drop_effect_copy ? " (copy)" : " (not copy)")
                      : " drag did not end";
    figure += logged ? ", log line" : ", no log line";
    figure += left ? ", hovering=false" : ", still hovering 1.5 s after the drop";
    figure += back ? ", picture back" : ", picture not back: " + picture_text(before, after);
    if (!difference.empty()) figure += ", " + difference;
    const bool kept = foreground_kept(foreground, figure);
    record("ole-drop", text && copied && logged && left && back && difference.empty() && kept,
           figure);
}

}  // namespace vth::peer
