// The drop walk over a data object made from the input: which formats it
// offers, with what ids, in which media, with which bytes, and which calls
// fail. A plain model of the walk, written here on its own, says which reads
// must happen in which order and which candidate must come out; the text of
// one format becomes a candidate through the real decoding and extraction.
//
// The portable walk sees a data object only through DropDataSource, whose
// read_medium hands back bytes and releases the medium itself. The media
// (GetData, lock, stream Stat and Read, ReleaseStgMedium) live in the Win32
// layer, which a native build cannot run; the fake below acts out that
// layer's documented reading, so a miscount of media here would be the
// fake's, and the count only shows that no read is left open across calls.
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "fuzz_bytes.hpp"
#include "fuzz_checks.hpp"
#include "traffic_drop/drop_formats.hpp"
#include "traffic_drop/text_decoding.hpp"
#include "traffic_drop/url_candidate.hpp"
#include "traffic_drop/white_space.hpp"

namespace {

using vth::drop::DropDataSource;
using vth::drop::ListedFormat;
using vth::drop::Medium;
using vth::fuzz::check;

using vth::fuzz::Bytes;

constexpr std::uint16_t cf_text = 1;
constexpr std::uint16_t cf_unicodetext = 13;

// The named formats the walk looks up.
enum Name { url_w, url_a, moz_url, html_format, text_html, uri_list, file_contents, name_count };
constexpr std::string_view names[name_count] = {
    "UniformResourceLocatorW",
    "UniformResourceLocator",
    "text/x-moz-url",
    "HTML Format",
    "text/html",
    "text/uri-list",
    "FileContents",
};

// What GetData hands back for one request, and how reading it goes.
struct Delivery {
    enum class Kind { hglobal, istream, null_stream, other };
    bool refused = false;  // GetData fails
    Kind kind = Kind::hglobal;
    std::string bytes;  // the block, or the whole stream
    bool lock_fails = false;
    bool stat_fails = false;
    std::uint64_t reported = 0;  // Stat's size
    std::size_t position = 0;    // where the data object left the stream
    enum class Read { whole, fails_at_once, fails_midway, short_success } read = Read::whole;
    std::size_t short_by = 0;
};

using Key = std::tuple<std::uint16_t, std::int32_t, Medium>;

// The bytes a read of this delivery gives, as the interface documents it: a
// block whole, a stream from its position up to stream_read_size() of its
// reported size; nothing when refused or unreadable.
std::optional<std::string> expected_bytes(const Delivery& d) {
    if (d.refused) return std::nullopt;
    switch (d.kind) {
        case Delivery::Kind::hglobal:
            if (d.lock_fails) return std::nullopt;
            return d.bytes;
        case Delivery::Kind::istream: {
            if (d.stat_fails) return std::nullopt;
            const std::size_t wanted = vth::drop::stream_read_size(d.reported);
            if (wanted == 0) return std::string();
            if (d.read == Delivery::Read::fails_at_once || d.read == Delivery::Read::fails_midway)
                return std::nullopt;
            const std::size_t start = std::min(d.position, d.bytes.size());
            std::string got = d.bytes.substr(start, wanted);
            if (d.read == Delivery::Read::short_success)
                got.resize(got.size() - std::min(d.short_by, got.size()));
            return got;
        }
        default:
            return std::nullopt;
    }
}

struct Event {
    enum class What { read, start_listing, next_listed } what;
    Key key{};
    bool operator==(const Event&) const = default;
};

// A data object with the input's formats. The media are acted out step by
// step as the Win32 layer reads them, and counted.
class FakeDataObject final : public DropDataSource {
  public:
    std::uint16_t ids[name_count] = {};
    std::map<Key, Delivery> offers;
    bool listing_refused = false;
    std::vector<ListedFormat> listed;
    std::size_t listing_end = 0;  // Next fails or ends here

    std::vector<Event> events;
    int lookups[name_count] = {};
    bool unknown_lookup = false;
    bool lookup_after_read = false;
    long media_out = 0;
    long media_released = 0;
    long locks = 0;
    long unlocks = 0;

    std::uint16_t format_id(std::string_view name) override {
        if (!events.empty()) lookup_after_read = true;
        for (int n = 0; n < name_count; ++n) {
            if (names[n] == name) {
                ++lookups[n];
                return ids[n];
            }
        }
        unknown_lookup = true;
        return 0;
    }

    std::optional<std::string> read_medium(std::uint16_t format, std::int32_t lindex,
                                           Medium medium) override {
        check(media_out == media_released, "a medium is still held when the next read starts");
        events.push_back({Event::What::read, {format, lindex, medium}});
        const auto it = offers.find({format, lindex, medium});
        if (it == offers.end() || it->second.refused) return std::nullopt;
        ++media_out;
        std::optional<std::string> bytes = read(it->second);
        ++media_released;
        return bytes;
    }

    bool start_listing() override {
        events.push_back({Event::What::start_listing, {}});
        next_ = 0;
        return !listing_refused;
    }

    std::optional<ListedFormat> next_listed() override {
        events.push_back({Event::What::next_listed, {}});
        // Past its end this enumerator carries on, so a walk that asks again
        // shows in the events.
        const std::size_t at = next_++;
        if (at == listing_end || listed.empty()) return std::nullopt;
        return listed[at % listed.size()];
    }

  private:
    std::optional<std::string> read(const Delivery& d) {
        switch (d.kind) {
            case Delivery::Kind::hglobal: {
                if (d.lock_fails) return std::nullopt;
                ++locks;
                std::string block = d.bytes;
                ++unlocks;
                return block;
            }
            case Delivery::Kind::istream:
                return read_stream(d);
            default:
                return std::nullopt;
        }
    }

    static std::optional<std::string> read_stream(const Delivery& d) {
        if (d.stat_fails) return std::nullopt;
        const std::size_t size = vth::drop::stream_read_size(d.reported);
        if (size == 0) return std::string();
        const std::size_t start = std::min(d.position, d.bytes.size());
        std::size_t got = std::min(size, d.bytes.size() - start);
        // Room for what arrives; the real layer asks for size bytes.
        std::string buffer(got, '\0');
        switch (d.read) {
            case Delivery::Read::fails_at_once:
                return std::nullopt;
            case Delivery::Read::fails_midway:
                // Some bytes arrive, then the read reports an error.
                std::copy_n(d.bytes.begin() + static_cast<std::ptrdiff_t>(start), got / 2,
                            buffer.begin());
                return std::nullopt;
            case Delivery::Read::short_success:
                got -= std::min(d.short_by, got);
                break;
            default:
                break;
        }
        std::copy_n(d.bytes.begin() + static_cast<std::ptrdiff_t>(start), got, buffer.begin());
        buffer.resize(got);
        return buffer;
    }

    std::size_t next_ = 0;
};

// Pieces of dropped texts: addresses, shortcut and HTML markers, white
// space, invisible noise and characters beyond the BMP.
constexpr std::string_view pieces[] = {
    "https://a.example/",
    "http://b.example",
    "c.example",
    "URL=",
    "url=",
    "[InternetShortcut]\r\n",
    "<a href=\"",
    "<A HREF='",
    "\">",
    "'",
    " ",
    "\r\n",
    "\n",
    "\t",
    "words",
    "://",
    ".",
    "Version:1.0\r\nStartHTML:0\r\n",
    "\xE3\x80\x80",
    "\xE2\x80\x8B",
    "\xEF\xBB\xBF",
    "\xE2\x80\xA8",
    "\xC3\xA9",
    "\xF0\x9F\x98\x80",
    "ftp://d.example/x y",
};

std::string utf8_text(Bytes& in) {
    std::string out;
    const std::size_t count = 1 + in.below(6);
    for (std::size_t i = 0; i < count; ++i) {
        if (in.below(6) == 0) {
            const std::size_t length = in.below(8);
            for (std::size_t k = 0; k < length; ++k) out += static_cast<char>(in.next());
        } else {
            out += pieces[in.below(std::size(pieces))];
        }
    }
    return out;
}

void append_unit(std::string& out, std::uint32_t unit) {
    out += static_cast<char>(unit & 0xFF);
    out += static_cast<char>((unit >> 8) & 0xFF);
}

// UTF-16LE of the UTF-8 text (well-formed pieces), with a lone surrogate or
// a raw unit now and then.
std::string utf16_text(Bytes& in, std::string_view text) {
    std::string out;
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::uint32_t c = lead;
        std::size_t length = 1;
        if (lead >= 0xF0 && i + 3 < text.size()) {
            length = 4;
            c = lead & 0x07u;
        } else if (lead >= 0xE0 && i + 2 < text.size()) {
            length = 3;
            c = lead & 0x0Fu;
        } else if (lead >= 0xC0 && i + 1 < text.size()) {
            length = 2;
            c = lead & 0x1Fu;
        }
        for (std::size_t k = 1; k < length; ++k)
            c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3Fu);
        i += length;
        if (c >= 0x10000) {
            append_unit(out, 0xD800 + ((c - 0x10000) >> 10));
            append_unit(out, 0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            append_unit(out, c);
        }
        if (in.below(32) == 0) append_unit(out, in.below(2) == 0 ? 0xD800u : in.u16());
    }
    return out;
}

// Bytes of one medium: empty, raw, 8-bit or UTF-16 text (mostly the one the
// format is read as) with or without a terminator and with bytes after it,
// odd lengths, rarely a text that only starts beyond the stream limit.
std::string medium_bytes(Bytes& in, bool read_wide) {
    switch (in.below(12)) {
        case 0:
            return {};
        case 1: {
            std::string out;
            const std::size_t length = in.below(64);
            for (std::size_t k = 0; k < length; ++k) out += static_cast<char>(in.next());
            return out;
        }
        case 2:
            if (in.next() == 0xA5) {
                std::string out(vth::drop::stream_read_limit - 16 + in.below(32), ' ');
                out += "z.example";
                return out;
            }
            break;
        default:
            break;
    }
    const bool wide = in.below(4) == 0 ? !read_wide : read_wide;
    if (!wide) {
        std::string out = utf8_text(in);
        if (in.below(2) == 0) out += '\0';
        if (in.below(4) == 0) out += utf8_text(in);
        return out;
    }
    std::string out = utf16_text(in, utf8_text(in));
    if (in.below(2) == 0) out.append(2, '\0');
    if (in.below(4) == 0) out += utf16_text(in, utf8_text(in));
    if (in.below(3) == 0) out += static_cast<char>(in.next());  // an odd byte
    return out;
}

Delivery delivery(Bytes& in, bool read_wide) {
    Delivery d;
    d.refused = in.below(8) == 0;
    using Kind = Delivery::Kind;
    constexpr Kind kinds[] = {Kind::hglobal, Kind::hglobal, Kind::hglobal,     Kind::istream,
                              Kind::istream, Kind::istream, Kind::null_stream, Kind::other};
    d.kind = kinds[in.below(std::size(kinds))];
    d.bytes = medium_bytes(in, read_wide);
    d.lock_fails = in.below(8) == 0;
    d.stat_fails = in.below(8) == 0;
    d.position = in.below(4) == 0 ? in.below(d.bytes.size() + 3) : 0;
    switch (in.below(6)) {
        case 0:
            d.reported = d.bytes.size() + 1 + in.below(8);
            break;
        case 1:
            d.reported = in.below(d.bytes.size() + 1);
            break;
        case 2:
            d.reported = 0;
            break;
        case 3:
            d.reported = in.u64();
            break;
        default:
            d.reported = d.bytes.size();
            break;
    }
    switch (in.below(10)) {
        case 0:
            d.read = Delivery::Read::fails_at_once;
            break;
        case 1:
            d.read = Delivery::Read::fails_midway;
            break;
        case 2:
            d.read = Delivery::Read::short_success;
            d.short_by = 1 + in.below(8);
            break;
        default:
            d.read = Delivery::Read::whole;
            break;
    }
    return d;
}

std::int32_t an_lindex(Bytes& in) {
    switch (in.below(4)) {
        case 0:
        case 1:
            return -1;
        case 2:
            return 0;
        default:
            return static_cast<std::int32_t>(static_cast<std::int8_t>(in.next()));
    }
}

std::uint16_t a_format(Bytes& in, const std::uint16_t (&ids)[name_count]) {
    switch (in.below(4)) {
        case 0:
            return in.below(2) == 0 ? cf_text : cf_unicodetext;
        case 1:
            return in.u16();
        default:
            return ids[in.below(name_count)];
    }
}

// The walk as a model: a format is read memory block first, then stream,
// and counts when a medium gives a non-blank text once decoded; the first
// text with a candidate wins. Fixed formats first, each read wide or 8-bit
// as listed; then the data object's own list, each entry wide and, only when
// that gives no text, 8-bit. Reads and listing calls are logged as the walk
// must make them.
class Model {
  public:
    explicit Model(const FakeDataObject& data) : data_(data) {}

    std::optional<std::string> walk() {
        const auto& id = data_.ids;
        const std::tuple<std::uint16_t, bool, std::int32_t> fixed[] = {
            {id[url_w], true, -1},        {cf_unicodetext, true, -1}, {id[moz_url], true, -1},
            {id[html_format], false, -1}, {id[text_html], false, -1}, {id[uri_list], false, -1},
            {id[url_a], false, -1},       {cf_text, false, -1},       {id[file_contents], false, 0},
        };
        for (const auto& [format, wide, lindex] : fixed) {
            if (auto text = try_format(format, wide, lindex)) {
                if (auto candidate = vth::drop::extract_url_candidate(*text)) return candidate;
            }
        }
        events.push_back({Event::What::start_listing, {}});
        if (data_.listing_refused) return std::nullopt;
        for (std::size_t at = 0;; ++at) {
            if (at == vth::drop::listed_format_limit) return std::nullopt;
            events.push_back({Event::What::next_listed, {}});
            if (at == data_.listing_end || data_.listed.empty()) return std::nullopt;
            const ListedFormat entry = data_.listed[at % data_.listed.size()];
            auto text = try_format(entry.format, true, entry.lindex);
            if (!text) text = try_format(entry.format, false, entry.lindex);
            if (!text) continue;
            if (auto candidate = vth::drop::extract_url_candidate(*text)) return candidate;
        }
    }

    std::optional<std::string> try_format(std::uint16_t format, bool wide, std::int32_t lindex) {
        for (Medium medium : {Medium::hglobal, Medium::istream}) {
            events.push_back({Event::What::read, {format, lindex, medium}});
            const auto it = data_.offers.find({format, lindex, medium});
            if (it == data_.offers.end()) continue;
            const std::optional<std::string> bytes = expected_bytes(it->second);
            if (!bytes) continue;
            std::string text = vth::drop::decode_text(*bytes, wide);
            if (!vth::drop::is_blank(text)) return text;
        }
        return std::nullopt;
    }

    std::vector<Event> events;

  private:
    const FakeDataObject& data_;
};

void check_counts(const FakeDataObject& data) {
    check(data.media_out == data.media_released, "a medium handed out was not released once");
    check(data.locks == data.unlocks, "a locked block was not unlocked once");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
    Bytes in(input, size);
    FakeDataObject data;
    for (int n = 0; n < name_count; ++n) {
        switch (in.below(6)) {
            case 0:
                data.ids[n] = in.u16();  // may match a standard or another named format
                break;
            case 1:
                data.ids[n] = in.below(2) == 0 ? cf_text : cf_unicodetext;
                break;
            case 2:
                data.ids[n] = 0;  // registration failed
                break;
            default:
                data.ids[n] = static_cast<std::uint16_t>(0xC000 + n);
                break;
        }
    }
    const std::size_t offer_count = in.below(12);
    for (std::size_t i = 0; i < offer_count; ++i) {
        const std::uint16_t format = a_format(in, data.ids);
        const std::int32_t lindex =
            format == data.ids[file_contents] && in.below(2) == 0 ? 0 : an_lindex(in);
        const Medium medium = in.below(2) == 0 ? Medium::hglobal : Medium::istream;
        // Wide for the formats the walk reads as UTF-16, and for other
        // formats, which it reads wide first.
        const bool read_wide = format != cf_text && format != data.ids[html_format] &&
                               format != data.ids[text_html] && format != data.ids[uri_list] &&
                               format != data.ids[url_a] && format != data.ids[file_contents];
        data.offers.insert_or_assign(Key{format, lindex, medium}, delivery(in, read_wide));
    }
    data.listing_refused = in.below(8) == 0;
    const std::size_t listed_count = in.below(8);
    for (std::size_t i = 0; i < listed_count; ++i) {
        if (in.below(2) == 0 && !data.offers.empty()) {
            // An entry for an offer, so listed formats often have bytes.
            auto it = data.offers.begin();
            std::advance(it, static_cast<std::ptrdiff_t>(in.below(data.offers.size())));
            data.listed.push_back({std::get<0>(it->first), std::get<1>(it->first)});
        } else {
            data.listed.push_back({a_format(in, data.ids), an_lindex(in)});
        }
    }
    data.listing_end = in.below(4) == 0 ? in.below(data.listed.size() + 1) : data.listed.size();
    const std::uint16_t probe_format = a_format(in, data.ids);
    const std::int32_t probe_lindex = an_lindex(in);
    const bool probe_wide = in.below(2) == 0;

    Model model(data);
    const std::optional<std::string> wanted = model.walk();
    // A clock that stands still: the time budget never cuts the walk short.
    const std::optional<std::string> got = vth::drop::find_drop_candidate(
        data, [] { return std::chrono::steady_clock::time_point{}; });

    for (int n = 0; n < name_count; ++n)
        check(data.lookups[n] == 1, "a named format not looked up exactly once");
    check(!data.unknown_lookup, "a name outside the walk's formats looked up");
    check(!data.lookup_after_read, "a name looked up after reading began");
    check(data.events == model.events, "reads or listing calls differ from the walk order");
    check(got == wanted, "candidate differs from the model");
    if (got) {
        check(!got->empty() && vth::drop::trim_white_space(*got) == *got &&
                  got->find('\n') == std::string::npos,
              "candidate badly shaped");
    }
    check_counts(data);

    // One format on its own.
    data.events.clear();
    model.events.clear();
    const auto text = vth::drop::try_format(data, probe_format, probe_wide, probe_lindex);
    check(text == model.try_format(probe_format, probe_wide, probe_lindex),
          "try_format differs from the model");
    check(data.events == model.events, "try_format reads differ from memory block, then stream");
    if (text) check(!vth::drop::is_blank(*text), "try_format gave a blank text");
    check_counts(data);
    return 0;
}
