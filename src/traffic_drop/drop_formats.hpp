#pragma once
// Reading a dropped data object: which clipboard formats and media are tried,
// in which order, and when a text counts. The data object itself sits behind
// DropDataSource (the COM object on Windows, fakes in tests). Runs on the
// thread that handles the drop; nothing is kept between drops.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace vth::drop {

enum class Medium { hglobal, istream };

// The data object's own format list is read no further than this: a list
// that never ends counts as ending here.
inline constexpr std::size_t listed_format_limit = 1024;

// How long one drop may keep its thread in calls to the data object. Each
// call is a synchronous call into the source process, so the budget is
// checked between calls: once it is spent, the formats not yet tried are
// skipped. A single call that never returns is not bounded by it.
inline constexpr std::chrono::milliseconds drop_read_budget{3000};

using DropClock = std::function<std::chrono::steady_clock::time_point()>;

// One entry of the data object's own format list.
struct ListedFormat {
    std::uint16_t format = 0;
    std::int32_t lindex = -1;
};

class DropDataSource {
  public:
    virtual ~DropDataSource() = default;

    // The id of a named clipboard format; the same name gives the same id.
    virtual std::uint16_t format_id(std::string_view name) = 0;

    // The bytes of one format requested in one medium, read from the medium
    // actually delivered: a memory block whole, a stream up to
    // stream_read_size(). Nothing when the data object refused or the medium
    // could not be read. The implementation releases the medium.
    virtual std::optional<std::string> read_medium(std::uint16_t format, std::int32_t lindex,
                                                   Medium medium) = 0;

    // Starts listing the data object's formats; false when it refuses.
    virtual bool start_listing() = 0;
    // The next listed format, or nothing at the end of the list.
    virtual std::optional<ListedFormat> next_listed() = 0;
};

// The text of one format (memory block first, then stream), decoded as UTF-16
// when wide and as UTF-8 otherwise; nothing when no medium gives a non-blank
// text. Returned as decoded, not trimmed.
std::optional<std::string> try_format(DropDataSource& source, std::uint16_t format, bool wide,
                                      std::int32_t lindex);

// The first URL candidate over the fixed format list, then over the formats
// the data object lists itself, within drop_read_budget as now tells it.
std::optional<std::string> find_drop_candidate(
    DropDataSource& source, const DropClock& now = std::chrono::steady_clock::now);

}  // namespace vth::drop
