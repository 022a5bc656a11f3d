// Any byte stream, delivered in chunks of fuzzed sizes with interrupted reads
// between them, splits into the same lines as a plain split at line feeds
// with one carriage return dropped before each, through copies and through
// views (each followed by a NUL).
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

std::vector<std::string> plain_split(std::string_view data) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t feed; (feed = data.find('\n', start)) != std::string_view::npos;
         start = feed + 1) {
        std::string line(data.substr(start, feed - start));
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
    }
    if (start < data.size()) lines.emplace_back(data.substr(start));
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string_view stream(reinterpret_cast<const char*>(data) + 1, size - 1);
    const auto expected = plain_split(stream);
    ChunkedSource source(stream, data[0]);
    vth::LineReader reader(source);
    std::vector<std::string> lines;
    for (;;) {
        auto line = reader.next();
        vth::fuzz::check(line.has_value(), "interrupted read surfaced as an error");
        if (!*line) break;
        lines.push_back(std::move(**line));
    }
    vth::fuzz::check(lines == expected, "lines differ from a plain split");

    ChunkedSource again(stream, data[0]);
    vth::LineReader views(again);
    std::size_t index = 0;
    for (;;) {
        auto line = views.next_view();
        vth::fuzz::check(line.has_value(), "interrupted read surfaced as an error");
        if (!*line) break;
        const std::string_view view = **line;
        vth::fuzz::check(index < expected.size() && view == expected[index],
                         "view differs from a plain split");
        vth::fuzz::check(view.data()[view.size()] == '\0', "no NUL after a view");
        ++index;
    }
    vth::fuzz::check(index == expected.size(), "views end early");
    return 0;
}
