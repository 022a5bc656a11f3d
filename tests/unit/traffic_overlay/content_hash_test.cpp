#include <gtest/gtest.h>
#include <rapidjson/document.h>

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "support/fixtures.hpp"
#include "traffic_overlay/content_hash.hpp"
#include "traffic_overlay/sip_hash.hpp"

namespace vth {
namespace {

std::string hex(std::uint64_t v) {
    char text[17];
    std::snprintf(text, sizeof text, "%016" PRIx64, v);
    return text;
}

double sample_number(const rapidjson::Value& v) {
    if (v.IsNumber()) return v.GetDouble();
    const std::string s = v.GetString();
    if (s == "NaN") return std::nan("");
    return s == "inf" ? INFINITY : -INFINITY;
}

OverlayContent content_from_json(const std::string& json) {
    rapidjson::Document doc;
    doc.Parse(json.c_str(), json.size());
    OverlayContent c;
    c.title = doc["title"].GetString();
    c.subtitle = doc["subtitle"].GetString();
    if (doc["feedback"].IsArray()) {
        c.feedback = Feedback{doc["feedback"][0].GetString(), doc["feedback"][1].GetBool()};
    }
    c.drop_hover = doc["dropHover"].GetBool();
    for (const auto& s : doc["samples"].GetArray()) {
        c.samples.push_back({sample_number(s[0]), sample_number(s[1]), sample_number(s[2])});
    }
    return c;
}

TEST(ContentHash, MatchesEveryFixtureRow) {
    const auto rows = test::read_tsv("content-hash.tsv");
    ASSERT_GT(rows.size(), 70u);
    for (const auto& row : rows) {
        ASSERT_EQ(row.size(), 3u);
        if (row[0] == "raw") {
            std::string bytes;
            for (int i = 0; i < std::stoi(row[1]); ++i) bytes.push_back(static_cast<char>(i));
            EXPECT_EQ(hex(sip_hash_13(bytes)), row[2]) << "raw " << row[1];
            for (std::size_t piece = 1; piece <= 9; ++piece) {
                SipHash13 hash;
                for (std::size_t at = 0; at < bytes.size(); at += piece) {
                    sip_write(hash, std::string_view(bytes).substr(at, piece));
                }
                EXPECT_EQ(hex(sip_finish(hash)), row[2]) << "raw " << row[1] << " by " << piece;
            }
        } else {
            EXPECT_EQ(hex(content_hash(content_from_json(row[1]))), row[2]) << row[1];
        }
    }
}

TEST(ContentHash, OnlyTheLastSampleCounts) {
    OverlayContent a{"t", "s", std::nullopt, {{0, 1, 2}, {1, 3, 4}}, false};
    OverlayContent b = a;
    b.samples[0] = {7, 70, 700};
    EXPECT_EQ(content_hash(a), content_hash(b));
    b.samples[1].up = 3.1;
    EXPECT_NE(content_hash(a), content_hash(b));
}

TEST(SaturatingTruncate, TowardZeroSaturatingNanZero) {
    constexpr auto max = std::numeric_limits<std::int64_t>::max();
    constexpr auto min = std::numeric_limits<std::int64_t>::min();
    const std::pair<double, std::int64_t> rows[] = {
        {0.99, 0},
        {-0.99, 0},
        {2.5, 2},
        {-2.5, -2},
        {1e300, max},
        {-1e300, min},
        {9.2233720368547758e18, max},
        {-9.2233720368547758e18, min},
        {std::nan(""), 0},
        {INFINITY, max},
        {-INFINITY, min},
    };
    for (auto [v, expected] : rows) EXPECT_EQ(saturating_truncate(v), expected) << "value " << v;
}

}  // namespace
}  // namespace vth
