#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/local_app_data.hpp"
#include "traffic_drop/pending_inbox.hpp"

namespace vth::drop {
namespace {

const std::string domains(tunnel_domains_file);
const std::string toggles(toggle_vpn_file);

TEST(PendingInbox, PathOnlyWithLocalAppData) {
    {
        test::LocalAppData data;
        EXPECT_EQ(pending_inbox_path(domains), data.file(domains).string());
    }
    test::LocalAppData unset(false);
    EXPECT_EQ(pending_inbox_path(domains), std::nullopt);
    pending_tunnel_domain_append("a.example");
    enqueue_pending_toggle_vpn();
    EXPECT_FALSE(std::filesystem::exists(unset.root() / "Vestrilon"));
}

TEST(PendingInbox, LinesAppendedInOrderWithoutDeduplication) {
    test::LocalAppData data;
    pending_tunnel_domain_append("https://a.example/p?q=\xD0\xB4");
    pending_tunnel_domain_append("https://a.example/p?q=\xD0\xB4");
    pending_tunnel_domain_append("b.example\rx");
    enqueue_pending_toggle_vpn();
    enqueue_pending_toggle_vpn();
    EXPECT_EQ(data.read(domains),
              "https://a.example/p?q=\xD0\xB4\nhttps://a.example/p?q=\xD0\xB4\nb.example\rx\n");
    EXPECT_EQ(data.read(toggles), "toggleVpn\ntoggleVpn\n");
}

TEST(PendingInbox, ContinuesWhateverTheFileHolds) {
    struct Row {
        const char* what;
        std::optional<std::string> before;  // nothing: the file was deleted
        std::string after;
    };
    const Row rows[] = {
        {"deleted", std::nullopt, "b.example\n"},
        {"truncated", "", "b.example\n"},
        {"last line without its end", "x.example", "x.exampleb.example\n"},
    };
    for (const Row& row : rows) {
        test::LocalAppData data;
        pending_tunnel_domain_append("a.example");
        std::filesystem::remove(data.file(domains));
        if (row.before) std::ofstream(data.file(domains), std::ios::binary) << *row.before;
        pending_tunnel_domain_append("b.example");
        EXPECT_EQ(data.read(domains), row.after) << row.what;
    }
}

TEST(PendingInbox, AppendsWhileAReaderHoldsTheFile) {
    test::LocalAppData data;
    pending_tunnel_domain_append("a.example");
    std::ifstream reader(data.file(domains), std::ios::binary);
    ASSERT_TRUE(reader);
    std::string first;
    std::getline(reader, first);
    EXPECT_EQ(first, "a.example");
    pending_tunnel_domain_append("b.example");
    std::string second;
    std::getline(reader, second);
    EXPECT_EQ(second, "b.example");
}

}  // namespace
}  // namespace vth::drop
