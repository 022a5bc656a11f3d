#include "self_test_checks.hpp"

#include <algorithm>
#include <cstdlib>

#include "common/control_escape.hpp"

namespace vth::peer {
namespace {

constexpr std::int32_t overlay_width = 208;
constexpr std::int32_t overlay_height = 132;
constexpr int colour_tolerance = 40;
// Enough pixels that a few stray ones from whatever lies behind the
// translucent body cannot pass for drawn text or graph lines.
constexpr std::size_t colour_min_pixels = 12;

// The overlay's layout: the title band and the graph band.
constexpr int title_top = 8;
constexpr int title_bottom = 28;
constexpr int graph_top = 48;
constexpr int graph_bottom = 105;

constexpr Rgb title_white{236, 242, 252};
constexpr Rgb upload_green{46, 204, 128};
constexpr Rgb download_blue{58, 155, 255};

std::int64_t clamp64(std::int64_t v, std::int64_t low, std::int64_t high) {
    return std::max(low, std::min(v, high));
}

}  // namespace

std::string check_line_text(const CheckLine& line) {
    std::string text = line.passed ? "PASS " : "FAIL ";
    text += line.name;
    if (!line.figure.empty()) {
        text += ' ';
        // Figures can quote the helper's messages and other programs' window
        // texts, which may not drive the terminal or break the report's lines.
        text += escape_controls(line.figure);
    }
    return text;
}

std::optional<ScreenPoint> expected_far_clamp(ScreenPoint requested,
                                              std::span<const DisplayInfo> displays) {
    const std::int64_t cx = std::int64_t{requested.x} + overlay_width / 2;
    const std::int64_t cy = std::int64_t{requested.y} + overlay_height / 2;
    std::optional<ScreenPoint> best;
    std::int64_t best_distance = 0;
    for (const DisplayInfo& d : displays) {
        const ScreenRect& w = d.work;
        if (w.right <= w.left || w.bottom <= w.top) continue;
        const std::int64_t px = clamp64(cx, w.left, std::int64_t{w.right} - 1);
        const std::int64_t py = clamp64(cy, w.top, std::int64_t{w.bottom} - 1);
        const std::int64_t distance = (cx - px) * (cx - px) + (cy - py) * (cy - py);
        if (best && distance >= best_distance) continue;
        const std::int64_t max_x = std::max<std::int64_t>(w.left, w.right - overlay_width);
        const std::int64_t max_y = std::max<std::int64_t>(w.top, w.bottom - overlay_height);
        best = ScreenPoint{static_cast<std::int32_t>(clamp64(requested.x, w.left, max_x)),
                           static_cast<std::int32_t>(clamp64(requested.y, w.top, max_y))};
        best_distance = distance;
    }
    return best;
}

std::vector<ScreenPoint> latency_positions(const ScreenRect& work, std::size_t count) {
    std::vector<ScreenPoint> positions;
    const std::int32_t max_x = std::max(work.left, work.right - overlay_width);
    const std::int32_t max_y = std::max(work.top, work.bottom - overlay_height);
    for (std::size_t i = 0; i < count; ++i) {
        const auto step = static_cast<std::int32_t>(i);
        positions.push_back({std::min(work.left + 120 + 9 * step, max_x),
                             std::min(work.top + 140 + 4 * step, max_y)});
    }
    return positions;
}

Latency latency_of(std::vector<std::chrono::milliseconds> samples) {
    if (samples.empty()) return {};
    std::sort(samples.begin(), samples.end());
    return {samples[samples.size() / 2], samples.back()};
}

bool latency_acceptable(const Latency& latency) {
    return latency.median <= std::chrono::milliseconds(100) &&
           latency.worst <= std::chrono::milliseconds(500);
}

std::size_t count_near(const Capture& capture, int top, int bottom, Rgb colour) {
    std::size_t count = 0;
    top = std::max(top, 0);
    bottom = std::min(bottom, capture.height);
    const auto near = [](std::uint8_t a, std::uint8_t b) {
        return std::abs(int{a} - int{b}) <= colour_tolerance;
    };
    for (int row = top; row < bottom; ++row) {
        for (int column = 0; column < capture.width; ++column) {
            const std::size_t at =
                (static_cast<std::size_t>(row) * static_cast<std::size_t>(capture.width) +
                 static_cast<std::size_t>(column)) *
                4;
            if (at + 3 >= capture.bgra.size()) return count;
            const std::uint8_t* p = capture.bgra.data() + at;
            if (near(p[0], colour.b) && near(p[1], colour.g) && near(p[2], colour.r)) ++count;
        }
    }
    return count;
}

ContentColours content_colours(const Capture& capture) {
    return {count_near(capture, title_top, title_bottom, title_white),
            count_near(capture, graph_top, graph_bottom, upload_green),
            count_near(capture, graph_top, graph_bottom, download_blue)};
}

bool content_drawn(const ContentColours& colours) {
    return colours.title >= colour_min_pixels && colours.upload >= colour_min_pixels &&
           colours.download >= colour_min_pixels;
}

std::string self_test_content() {
    std::string samples;
    for (int t = 0; t < 60; t += 2) {
        if (!samples.empty()) samples += ',';
        samples += '[' + std::to_string(t) + ',' + std::to_string(300 + 200 * (t % 7)) + ',' +
                   std::to_string(2000 + 150 * t) + ']';
    }
    return R"({"type":"updateContent","title":"Vestrilon self-test","subtitle":"up 12 KB/s down 340 KB/s",)"
           R"("feedback":null,"dropHover":false,"samples":[)" +
           samples + "]}";
}

std::string self_test_url(std::string_view token) {
    return "https://self-test.vestrilon.example/drop?run=" + std::string(token.substr(0, 8));
}

std::vector<std::string> log_messages(std::string_view log) {
    constexpr std::string_view stamp = "SystemTime { intervals: ";
    std::vector<std::string> messages;
    while (!log.empty()) {
        const std::size_t end = log.find('\n');
        std::string_view line = log.substr(0, end);
        log = end == std::string_view::npos ? std::string_view{} : log.substr(end + 1);
        if (line.starts_with(stamp)) {
            const std::size_t close = line.find(" } ");
            if (close != std::string_view::npos) line = line.substr(close + 3);
        }
        messages.emplace_back(line);
    }
    return messages;
}

std::vector<std::string> last_lines(std::span<const std::string> messages, std::size_t count) {
    std::vector<std::string> lines;
    for (auto it = messages.rbegin(); it != messages.rend() && lines.size() < count; ++it) {
        if (!it->empty()) lines.push_back(*it);
    }
    std::reverse(lines.begin(), lines.end());
    return lines;
}

std::optional<std::string> build_id_of(std::span<const std::string> messages) {
    constexpr std::string_view start = "starting helper build=";
    for (auto it = messages.rbegin(); it != messages.rend(); ++it) {
        std::string_view m = *it;
        if (!m.starts_with(start)) continue;
        m.remove_prefix(start.size());
        return std::string(m.substr(0, m.find(' ')));
    }
    return std::nullopt;
}

std::string drop_log_line(std::string_view text) {
    return "textDropped len=" + std::to_string(text.size()) + " preview=\"" + std::string(text) +
           "\"";
}

ScreenRect drag_source_place(const ScreenRect& overlay, const ScreenRect& work) {
    constexpr std::int32_t width = 160;
    constexpr std::int32_t height = 120;
    constexpr std::int32_t gap = 60;
    std::int32_t left = overlay.left - gap - width;
    if (left < work.left) left = overlay.right + gap;
    const std::int32_t top =
        std::max(work.top, std::min(overlay.top, std::max(work.top, work.bottom - height)));
    return {left, top, left + width, top + height};
}

std::string report_text(std::span<const CheckLine> lines, const ReportFacts& facts) {
    std::string text = "traffic-gui-peer --self-test\n";
    for (const CheckLine& line : lines) text += check_line_text(line) + '\n';
    text += facts.outcome + '\n';
    text += "\nhelper: " + facts.helper_path + '\n';
    text += "helper build: " + facts.build_id + '\n';
    text += "integrity: " + facts.integrity + '\n';
    text += "windows: " + facts.windows_version + '\n';
    text += "displays (monitor, work area, dpi):\n";
    for (const DisplayInfo& d : facts.displays) {
        const auto rect = [](const ScreenRect& r) {
            return std::to_string(r.left) + ',' + std::to_string(r.top) + ' ' +
                   std::to_string(r.right - r.left) + 'x' + std::to_string(r.bottom - r.top);
        };
        text += "  " + d.name + (d.primary ? " primary" : "") + " monitor=" + rect(d.monitor) +
                " work=" + rect(d.work) + " dpi=" + std::to_string(d.dpi) + " (" +
                std::to_string(d.dpi * 100 / 96) + "%)\n";
    }
    text += "helper log, last lines:\n";
    if (facts.helper_log.empty()) text += "  (none)\n";
    // The helper's lines may hold anything a hostile GUI or drop put there.
    for (const std::string& line : facts.helper_log) text += "  " + escape_controls(line) + '\n';
    return text;
}

}  // namespace vth::peer
