// Any byte stream, delivered in chunks of fuzzed sizes with interrupted reads
// between them, splits into the same lines as a plain split at line feeds
// with one carriage return dropped before each, through copies and through
// views (each followed by a NUL); under a line limit taken from the input,
// each line longer than the limit is refused once in its place. Long inputs
// (-max_len=200000) cross the buffer's growth.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_checks.hpp"
#include "helper/line_reader.hpp"

namespace {

class ChunkedSource : public vth::ByteSource {
  public:
    ChunkedSource(std::string_view data, std::uint8_t seed) : data_(data), seed_(seed) {}

    vth::Result<std::size_t> read(std::span<char> buffer) override {
        if (++calls_ % 7 == 0) return vth::fail("interrupted", vth::os::interrupted_os_code());
        seed_ = static_cast<std::uint8_t>(seed_ * 33 + 17);
        const std::size_t want = std::size_t{1} + seed_ % 97 * (seed_ & 0x80 ? 131 : 1);
        const std::size_t n = std::min({want, buffer.size(), data_.size()});
        std::copy_n(data_.begin(), n, buffer.begin());
        data_.remove_prefix(n);
        return n;
    }

  private:
    std::string_view data_;
    std::uint8_t seed_;
    unsigned calls_ = 0;
};

constexpr std::string_view too_long_mark = "<too long>";

std::vector<std::string> plain_split(std::string_view data, std::size_t max_line) {
    std::vector<std::string> lines;
    const auto add = [&](std::string line) {
        lines.push_back(line.size() > max_line ? std::string(too_long_mark) : std::move(line));
    };
    std::size_t start = 0;
    for (std::size_t feed; (feed = data.find('\n', start)) != std::string_view::npos;
         start = feed + 1) {
        std::string line(data.substr(start, feed - start));
        if (!line.empty() && line.back() == '\r') line.pop_back();
        add(std::move(line));
    }
    if (start < data.size()) add(std::string(data.substr(start)));
    return lines;
}

// Half the inputs run without a limit that matters, half with one of up to
// about 90,000 bytes.
std::size_t max_line_of(std::uint8_t choice) {
    if (choice < 128) return vth::LineReader::default_max_line;
    return std::size_t{1} + std::size_t{choice - 128u} * 700;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::string_view stream(reinterpret_cast<const char*>(data) + 2, size - 2);
    const std::size_t max_line = max_line_of(data[1]);
    const auto expected = plain_split(stream, max_line);
    ChunkedSource source(stream, data[0]);
    vth::LineReader reader(source, max_line);
    std::vector<std::string> lines;
    for (;;) {
        auto line = reader.next();
        if (!line && line.error().text == reader.too_long_text()) {
            lines.emplace_back(too_long_mark);
            continue;
        }
        vth::fuzz::check(line.has_value(), "interrupted read surfaced as an error");
        if (!*line) break;
        lines.push_back(std::move(**line));
    }
    vth::fuzz::check(lines == expected, "lines differ from a plain split");

    ChunkedSource again(stream, data[0]);
    vth::LineReader views(again, max_line);
    std::size_t index = 0;
    for (;;) {
        auto line = views.next_view();
        vth::fuzz::check(line.has_value(), "interrupted read surfaced as an error");
        if (!*line) break;
        vth::fuzz::check(index < expected.size(), "more views than lines");
        if ((*line)->too_long) {
            vth::fuzz::check(expected[index] == too_long_mark, "a line refused that fits");
        } else {
            const std::string_view view = (*line)->text;
            vth::fuzz::check(view == expected[index], "view differs from a plain split");
            vth::fuzz::check(view.data()[view.size()] == '\0', "no NUL after a view");
        }
        ++index;
    }
    vth::fuzz::check(index == expected.size(), "views end early");
    return 0;
}
