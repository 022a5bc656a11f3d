// Usage: vth-overlay-host [--at X,Y]
// Creates the overlay with TrafficOverlay::create and drives it the way the
// helper's main loop does, without a GUI connection: command lines from
// stdin (the helper's own decoder), 8 ms passes. Extra input lines:
//   displayChange   posts WM_DISPLAYCHANGE to the overlay window
//   window          prints the window's class, styles, whether it is visible
//                   and whether it is the foreground window:
//                   {"event":"window",...}
//   font            prints the face the overlay's text font is made in, ""
//                   for none: {"event":"font","face":F}
// Prints one JSON line per happening, with milliseconds since start:
//   {"event":"action","code":N} / "textDropped" / "addFromClipboard"
//   {"event":"flags","interacting":b,"hovering":b,"ole":b} on each change
//   {"event":"position","x":X,"y":Y} on each change of outer_position
//   {"event":"sent","title":T} when an updateContent is handed on
//   {"event":"render","title":T} when the overlay thread redraws
//   {"event":"topmost"} when the overlay thread puts the window back on top
// At the end of input the handle is destroyed and the host exits.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <thread>

#include "common/channel.hpp"
#include "common/json_event.hpp"
#include "common/os.hpp"
#include "helper/command_reader.hpp"
#include "os/win/common/wide.hpp"
#include "os/win/traffic_overlay/overlay_font.hpp"
#include "os/win/traffic_overlay/overlay_window_win.hpp"
#include "traffic_overlay/traffic_overlay.hpp"

namespace {

using Writer = vth::test::EventWriter;
const auto started = std::chrono::steady_clock::now();

// Every event carries the milliseconds since start, for the latency figures.
template <typename Fill>
void print_event(const char* name, Fill fill) {
    vth::test::print_event(name, [&](Writer& w) {
        w.Key("ms");
        w.Double(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started)
                .count());
        fill(w);
    });
}

// The system window, reporting each redraw before it happens.
class ReportingWindow final : public vth::OverlayWindow {
  public:
    explicit ReportingWindow(std::unique_ptr<vth::OverlayWindow> inner)
        : inner_(std::move(inner)) {}
    bool drop_target_registered() const override { return inner_->drop_target_registered(); }
    void show(bool visible) override { inner_->show(visible); }
    void move_to(vth::ScreenPoint p) override { inner_->move_to(p); }
    void move_keeping_visibility(vth::ScreenPoint p) override {
        inner_->move_keeping_visibility(p);
    }
    void restore_topmost() override {
        inner_->restore_topmost();
        print_event("topmost", [](Writer&) {});
    }
    void dispatch_messages() override { inner_->dispatch_messages(); }
    std::optional<vth::ScreenPoint> outer_position() const override {
        return inner_->outer_position();
    }
    std::optional<std::string> take_dropped_text() override { return inner_->take_dropped_text(); }
    void render(const vth::OverlayContent& content) override {
        inner_->render(content);
        print_event("render", [&](Writer& w) {
            w.Key("title");
            w.String(content.title.c_str());
        });
    }

  private:
    std::unique_ptr<vth::OverlayWindow> inner_;
};

struct Input {
    std::optional<vth::OverlayCommand> command;
    bool display_change = false;
    bool window_info = false;
    bool font = false;
};

HWND overlay_window() {
    return FindWindowW(vth::win::overlay_class_name, vth::win::overlay_title);
}

void print_window_info() {
    HWND window = overlay_window();
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    std::string class_name;
    for (const wchar_t* c = name; *c != 0; ++c) class_name += static_cast<char>(*c);
    RECT rect{};
    GetWindowRect(window, &rect);
    print_event("window", [&](Writer& w) {
        w.Key("found");
        w.Bool(window != nullptr);
        w.Key("class");
        w.String(class_name.c_str());
        w.Key("exStyle");
        w.Uint64(static_cast<std::uint64_t>(GetWindowLongPtrW(window, GWL_EXSTYLE)));
        w.Key("style");
        w.Uint64(static_cast<std::uint64_t>(GetWindowLongPtrW(window, GWL_STYLE)) & 0xFFFFFFFFu);
        w.Key("width");
        w.Int(rect.right - rect.left);
        w.Key("height");
        w.Int(rect.bottom - rect.top);
        w.Key("visible");
        w.Bool(IsWindowVisible(window) != FALSE);
        w.Key("foreground");
        w.Bool(GetForegroundWindow() == window);
    });
}

void print_font_face() {
    vth::win::GdiFont font = vth::win::create_overlay_font();
    LOGFONTW described{};
    if (font) GetObjectW(font.get(), sizeof described, &described);
    print_event("font", [&](Writer& w) {
        w.Key("face");
        w.String(vth::win::to_utf8(described.lfFaceName).c_str());
    });
}

void apply(vth::TrafficOverlay& overlay, vth::OverlayCommand& command) {
    using namespace vth;
    if (auto* c = std::get_if<command::SetVisible>(&command)) overlay.set_visible(c->visible);
    if (auto* c = std::get_if<command::SetPosition>(&command)) overlay.set_position(c->x, c->y);
    if (auto* c = std::get_if<command::UpdateContent>(&command)) {
        std::vector<TrafficSample> samples;
        for (const auto& s : c->samples) samples.push_back({s.t, s.up, s.down});
        std::optional<Feedback> feedback;
        if (c->feedback) feedback = Feedback{c->feedback->first, c->feedback->second};
        print_event("sent", [&](Writer& w) {
            w.Key("title");
            w.String(c->title.c_str());
        });
        overlay.update_content(c->title, c->subtitle, feedback, samples, c->drop_hover);
    }
}

void report(vth::TrafficOverlay& overlay) {
    using namespace vth;
    for (;;) {
        TrafficOverlayEvent event = overlay.pump();
        if (auto* a = std::get_if<overlay_event::Action>(&event)) {
            print_event("action", [&](Writer& w) {
                w.Key("code");
                w.Int(static_cast<int>(a->action));
            });
        } else if (auto* t = std::get_if<overlay_event::TextDropped>(&event)) {
            print_event("textDropped", [&](Writer& w) {
                w.Key("text");
                w.String(t->text.c_str());
            });
        } else if (std::holds_alternative<overlay_event::AddFromClipboard>(event)) {
            print_event("addFromClipboard", [](Writer&) {});
        } else {
            return;
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    int x = 300;
    int y = 200;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string(argv[i]) == "--at") std::sscanf(argv[i + 1], "%d,%d", &x, &y);
    }
    vth::OverlayServices services = vth::system_overlay_services();
    services.open_window =
        [](vth::ScreenPoint p, vth::OverlayState& state,
           const std::shared_ptr<vth::OverlayCells>& cells) -> std::unique_ptr<vth::OverlayWindow> {
        auto inner = vth::open_system_overlay_window(p, state, cells);
        if (!inner) return nullptr;
        return std::make_unique<ReportingWindow>(std::move(inner));
    };
    auto overlay = vth::TrafficOverlay::create(x, y, services);
    if (!overlay) return 1;

    auto [sender, receiver] = vth::make_channel<Input>();
    std::atomic<bool> input_ended{false};
    std::thread reader([&, tx = std::move(sender)]() mutable {
        for (std::string line; std::getline(std::cin, line);) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line == "displayChange") {
                tx.send(Input{std::nullopt, true, false, false});
            } else if (line == "window") {
                tx.send(Input{std::nullopt, false, true, false});
            } else if (line == "font") {
                tx.send(Input{std::nullopt, false, false, true});
            } else if (auto command = vth::decode_command_line(line)) {
                tx.send(Input{std::move(*command), false, false, false});
            } else {
                print_event("rejected", [&](Writer& w) {
                    w.Key("error");
                    w.String(command.error().text.c_str());
                });
            }
        }
        input_ended = true;
    });

    bool interacting = false, hovering = false, ole = false;
    std::optional<vth::ScreenPoint> position;
    bool first = true;
    for (;;) {
        bool ended = input_ended.load();
        while (auto input = receiver.try_receive()) {
            if (input->window_info) {
                print_window_info();
            } else if (input->font) {
                print_font_face();
            } else if (input->display_change) {
                PostMessageW(overlay_window(), WM_DISPLAYCHANGE, 32, MAKELPARAM(1280, 800));
            } else {
                apply(*overlay, *input->command);
            }
        }
        report(*overlay);
        bool i = overlay->is_interacting(), h = overlay->is_drop_hovering(),
             o = overlay->ole_registered();
        if (first || i != interacting || h != hovering || o != ole) {
            interacting = i, hovering = h, ole = o;
            print_event("flags", [&](Writer& w) {
                w.Key("interacting");
                w.Bool(i);
                w.Key("hovering");
                w.Bool(h);
                w.Key("ole");
                w.Bool(o);
            });
        }
        auto p = overlay->outer_position();
        if (first || p != position) {
            position = p;
            print_event("position", [&](Writer& w) {
                w.Key("x");
                w.Int(p ? p->x : 0);
                w.Key("y");
                w.Int(p ? p->y : 0);
            });
        }
        first = false;
        if (ended && !receiver.sender_alive()) break;
        vth::os::sleep_for(std::chrono::milliseconds(8));
    }
    reader.join();
    overlay.reset();
    print_event("ended", [](Writer&) {});
    return 0;
}
