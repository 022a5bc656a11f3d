#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "common/diagnostics.hpp"
#include "support/local_app_data.hpp"
#include "traffic_drop/drop_delivery.hpp"
#include "traffic_drop/drop_events.hpp"

namespace vth::drop {
namespace {

struct EventLog {
    std::vector<diag::Event> events;
    EventLog() {
        diag::set_sink([this](const diag::Event& e) { events.push_back(e); });
    }
    ~EventLog() { diag::set_sink({}); }
};

std::string describe(const diag::Event& e) {
    std::string text = e.level == diag::Level::info ? "info " : "warning ";
    text += e.target + " " + e.message;
    for (const auto& f : e.fields) text += " " + f.name + "=" + f.value;
    return text;
}

TEST(DeliverDrop, QueuesReportsAndWritesTheSecondCandidate) {
    struct Row {
        std::optional<std::string> candidate;
        bool accepted;
        std::string event;
        std::string inbox;
    };
    const std::string target(diag::drop_target);
    const Row rows[] = {
        {std::nullopt, false,
         "warning " + target +
             " overlay drop parse failed error=drop does not contain URL or text (0x80040064)",
         ""},
        {"https://a.example/", true,
         "info " + target + " overlay received URL/text drop text=https://a.example/",
         "https://a.example/\n"},
        {"intranet", true, "info " + target + " overlay received URL/text drop text=intranet", ""},
        {"URL=b.example", true,
         "info " + target + " overlay received URL/text drop text=URL=b.example", "b.example\n"},
    };
    for (const Row& row : rows) {
        const std::string what = row.candidate.value_or("(none)");
        test::LocalAppData data;
        EventLog log;
        DroppedTexts texts;
        EXPECT_EQ(deliver_drop(row.candidate, texts), row.accepted) << what;
        ASSERT_EQ(log.events.size(), 1u) << what;
        EXPECT_EQ(describe(log.events[0]), row.event) << what;
        EXPECT_EQ(texts, row.accepted ? DroppedTexts{*row.candidate} : DroppedTexts{}) << what;
        EXPECT_EQ(data.read("pending-tunnel-domains.txt"), row.inbox) << what;
    }
}

TEST(HresultErrorText, MessageThenCode) {
    EXPECT_EQ(hresult_error_text("Invalid window handle.", 0x80070578),
              "Invalid window handle. (0x80070578)");
    EXPECT_EQ(hresult_error_text("", 0x80040102), "0x80040102");
}

TEST(DeliverDrop, QueuedInDropOrderEvenWithoutInbox) {
    test::LocalAppData unset(false);
    DroppedTexts texts;
    EXPECT_TRUE(deliver_drop("first.example", texts));
    EXPECT_TRUE(deliver_drop("second.example", texts));
    EXPECT_EQ(texts, (DroppedTexts{"first.example", "second.example"}));
    EXPECT_FALSE(std::filesystem::exists(unset.root() / "Vestrilon"));
}

}  // namespace
}  // namespace vth::drop
