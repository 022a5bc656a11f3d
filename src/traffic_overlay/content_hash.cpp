#include "traffic_overlay/content_hash.hpp"

#include <cmath>
#include <limits>
#include <string>

#include "traffic_overlay/sip_hash.hpp"

namespace vth {
namespace {

void put_u64(std::string& out, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

void put_text(std::string& out, std::string_view text) {
    out.append(text);
    out.push_back('\xFF');
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
    std::string bytes;
    put_text(bytes, content.title);
    put_text(bytes, content.subtitle);
    if (content.feedback) {
        put_u64(bytes, 1);
        put_text(bytes, content.feedback->text);
        bytes.push_back(content.feedback->ok ? '\1' : '\0');
    } else {
        put_u64(bytes, 0);
    }
    bytes.push_back(content.drop_hover ? '\1' : '\0');
    put_u64(bytes, content.samples.size());
    if (!content.samples.empty()) {
        const TrafficSample& last = content.samples.back();
        put_u64(bytes, static_cast<std::uint64_t>(saturating_truncate(last.down * 10.0)));
        put_u64(bytes, static_cast<std::uint64_t>(saturating_truncate(last.up * 10.0)));
        put_u64(bytes, static_cast<std::uint64_t>(saturating_truncate(last.t * 5.0)));
    }
    return sip_hash_13(bytes);
}

}  // namespace vth
