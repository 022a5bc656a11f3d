#include "traffic_overlay/content_hash.hpp"

#include <cmath>
#include <limits>
#include <string_view>

#include "traffic_overlay/sip_hash.hpp"

namespace vth {
namespace {

void put_u64(SipHash13& out, std::uint64_t v) {
    char bytes[8];
    for (int i = 0; i < 8; ++i) bytes[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    sip_write(out, std::string_view(bytes, sizeof bytes));
}

void put_byte(SipHash13& out, char byte) {
    sip_write(out, std::string_view(&byte, 1));
}

void put_text(SipHash13& out, std::string_view text) {
    sip_write(out, text);
    put_byte(out, '\xFF');
}

}  // namespace

std::int64_t saturating_truncate(double v) {
    constexpr double two_63 = 9223372036854775808.0;
    if (std::isnan(v)) return 0;
    if (v >= two_63) return std::numeric_limits<std::int64_t>::max();
    if (v < -two_63) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(v);
}

std::uint64_t content_hash(const OverlayContent& content) {
    SipHash13 hash;
    put_text(hash, content.title);
    put_text(hash, content.subtitle);
    if (content.feedback) {
        put_u64(hash, 1);
        put_text(hash, content.feedback->text);
        put_byte(hash, content.feedback->ok ? '\1' : '\0');
    } else {
        put_u64(hash, 0);
    }
    put_byte(hash, content.drop_hover ? '\1' : '\0');
    put_u64(hash, content.samples.size());
    if (!content.samples.empty()) {
        const TrafficSample& last = content.samples.back();
        put_u64(hash, static_cast<std::uint64_t>(saturating_truncate(last.down * 10.0)));
        put_u64(hash, static_cast<std::uint64_t>(saturating_truncate(last.up * 10.0)));
        put_u64(hash, static_cast<std::uint64_t>(saturating_truncate(last.t * 5.0)));
    }
    return sip_finish(hash);
}

}  // namespace vth
