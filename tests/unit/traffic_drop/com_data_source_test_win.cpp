#include <gtest/gtest.h>

#include "os/win/traffic_drop/com_data_source.hpp"
#include "traffic_drop/fake_com_win.hpp"

namespace vth::win {
namespace {

using namespace std::string_literals;
using test::block;
using test::delivering;
using test::FakeDataObject;
using test::FakeStream;
using test::null_block;
using test::Offer;
using test::only_medium;
using test::streamed;
using test::utf16;

const std::string fffd = "\xEF\xBF\xBD";

struct Row {
    const char* what;
    std::vector<Offer> offers;
    CLIPFORMAT format;
    bool wide;
    std::optional<std::string> text;
};

TEST(ComTryFormat, ReadsMediaAndGivesEveryOneBack) {
    FakeStream stream("stream.example");
    FakeStream blank_stream(" \r\n");
    FakeStream failing_stat("s.example");
    failing_stat.stat_result = E_FAIL;
    FakeStream failing_read("s.example");
    failing_read.read_result = STG_E_ACCESSDENIED;
    FakeStream short_read("short.example and more");
    short_read.most_per_read = 13;
    FakeStream midway("xxa.example");
    midway.position = 2;
    FakeStream wide_stream(utf16("w.example"));
    FakeStream understated("a.example/not-claimed");
    understated.reported_size = 9;
    FakeStream overreporting("o.example");
    overreporting.overreport = 0x10000;

    const Row rows[] = {
        {"memory block preferred over stream",
         {block(CF_TEXT, "block.example"), streamed(CF_TEXT, &stream)},
         CF_TEXT,
         false,
         "block.example"},
        {"blank memory block, then stream",
         {block(CF_TEXT, " \t\r\n"), streamed(CF_TEXT, &stream)},
         CF_TEXT,
         false,
         "stream.example"},
        {"both blank",
         {block(CF_TEXT, "\0"s), streamed(CF_TEXT, &blank_stream)},
         CF_TEXT,
         false,
         std::nullopt},
        {"UTF-16 without terminator",
         {block(CF_UNICODETEXT, utf16("a.example"))},
         CF_UNICODETEXT,
         true,
         "a.example"},
        {"bytes after a zero unit ignored",
         {block(CF_UNICODETEXT, utf16("a.example") + "\0\0"s + utf16("junk"))},
         CF_UNICODETEXT,
         true,
         "a.example"},
        {"odd last byte ignored",
         {block(CF_UNICODETEXT, utf16("ab") + "c")},
         CF_UNICODETEXT,
         true,
         "ab"},
        {"legacy code-page byte",
         {block(CF_TEXT, "caf\xE9.example\0"s)},
         CF_TEXT,
         false,
         "caf" + fffd + ".example"},
        {"UTF-16 stream",
         {streamed(CF_UNICODETEXT, &wide_stream)},
         CF_UNICODETEXT,
         true,
         "w.example"},
        {"file medium only", {only_medium(CF_TEXT, TYMED_FILE)}, CF_TEXT, false, std::nullopt},
        {"file handed out for a memory request",
         {delivering(block(CF_TEXT, "a.example"), TYMED_FILE)},
         CF_TEXT,
         false,
         std::nullopt},
        {"stream handed out for a memory request",
         {[&] {
             test::Offer offer = delivering(block(CF_TEXT, {}), TYMED_ISTREAM);
             offer.stream = &stream;
             return offer;
         }()},
         CF_TEXT,
         false,
         "stream.example"},
        {"null memory block, then stream",
         {null_block(CF_TEXT), streamed(CF_TEXT, &stream)},
         CF_TEXT,
         false,
         "stream.example"},
        {"missing stream", {streamed(CF_TEXT, nullptr)}, CF_TEXT, false, std::nullopt},
        {"failing Stat", {streamed(CF_TEXT, &failing_stat)}, CF_TEXT, false, std::nullopt},
        {"failing Read", {streamed(CF_TEXT, &failing_read)}, CF_TEXT, false, std::nullopt},
        {"one short read is all",
         {streamed(CF_TEXT, &short_read)},
         CF_TEXT,
         false,
         "short.example"},
        {"stream larger than it claims: the claimed bytes",
         {streamed(CF_TEXT, &understated)},
         CF_TEXT,
         false,
         "a.example"},
        {"stream reporting more bytes than asked: the asked bytes",
         {streamed(CF_TEXT, &overreporting)},
         CF_TEXT,
         false,
         "o.example"},
        {"read from where the stream stands",
         {streamed(CF_TEXT, &midway)},
         CF_TEXT,
         false,
         "a.example"},
        {"other format only",
         {block(CF_UNICODETEXT, utf16("a.example"))},
         CF_TEXT,
         false,
         std::nullopt},
    };
    for (const Row& row : rows) {
        stream.position = 0;
        FakeDataObject data;
        data.offers = row.offers;
        EXPECT_EQ(try_format(&data, row.format, row.wide, -1), row.text) << row.what;
        EXPECT_TRUE(data.balanced()) << row.what << ": token " << data.token.references;
        for (const FORMATETC& request : data.requests) {
            EXPECT_EQ(request.ptd, nullptr) << row.what;
            EXPECT_EQ(request.dwAspect, DWORD{DVASPECT_CONTENT}) << row.what;
            EXPECT_EQ(request.lindex, -1) << row.what;
        }
        for (const Offer& offer : row.offers) {
            if (offer.stream != nullptr) {
                EXPECT_EQ(offer.stream->references, 1u) << row.what;
                EXPECT_EQ(offer.stream->seeks, 0) << row.what;
            }
        }
    }
    EXPECT_EQ(stream.reads.size(), 3u);
    EXPECT_EQ(short_read.reads, std::vector<ULONG>{22});
    EXPECT_EQ(failing_stat.stat_flags, std::vector<DWORD>{STATFLAG_NONAME});
}

TEST(ComTryFormat, MediaAskedForInOrderOneAtATime) {
    FakeDataObject data;
    EXPECT_EQ(try_format(&data, 0xC123, false, 0), std::nullopt);
    ASSERT_EQ(data.requests.size(), 2u);
    EXPECT_EQ(data.requests[0].tymed, DWORD{TYMED_HGLOBAL});
    EXPECT_EQ(data.requests[1].tymed, DWORD{TYMED_ISTREAM});
    EXPECT_EQ(data.requests[0].cfFormat, 0xC123);
    EXPECT_EQ(data.requests[1].lindex, 0);
}

TEST(ComTryFormat, LongStreamCutAtOneMebibyte) {
    // A three-byte character straddles the limit: its first two bytes are read.
    std::string bytes(1048574, 'a');
    bytes += "\xE2\x82\xAC";
    ASSERT_EQ(bytes.size(), 1048577u);
    FakeStream stream(bytes);
    FakeDataObject data;
    data.offers = {streamed(CF_TEXT, &stream)};
    std::optional<std::string> text = try_format(&data, CF_TEXT, false, -1);
    ASSERT_TRUE(text);
    EXPECT_EQ(text->size(), 1048574u + 3u);
    EXPECT_EQ(text->substr(1048574), fffd);
    EXPECT_EQ(stream.reads, std::vector<ULONG>{1048576});
    EXPECT_TRUE(data.balanced());
    EXPECT_EQ(stream.references, 1u);
}

TEST(ComFindDropCandidate, WalksFixedFormatsThenTheList) {
    const CLIPFORMAT url_w = test::named_format(L"UniformResourceLocatorW");
    const CLIPFORMAT file_contents = test::named_format(L"FileContents");
    const CLIPFORMAT private_format = test::named_format(L"vth private test format");
    FakeStream shortcut("[InternetShortcut]\r\nURL=https://f.example/\r\n");

    struct Case {
        const char* what;
        std::vector<Offer> offers;
        std::vector<CLIPFORMAT> listed;
        HRESULT enum_result;
        std::optional<std::string> candidate;
    };
    const Case cases[] = {
        {"URL format wins over plain text",
         {block(CF_UNICODETEXT, utf16("https://text.example/") + "\0\0"s),
          block(url_w, utf16("https://url.example/") + "\0\0"s)},
         {},
         S_OK,
         "https://url.example/"},
        {"FileContents item 0 as a stream",
         {streamed(file_contents, &shortcut, 0)},
         {},
         S_OK,
         "https://f.example/"},
        {"listed private format, read as UTF-16 first",
         {block(private_format, utf16("p.example"))},
         {private_format},
         S_OK,
         "p.example"},
        {"listed 8-bit text is read as UTF-16 first and gives no candidate",
         {block(private_format, "p.example")},
         {private_format},
         S_OK,
         std::nullopt},
        {"failing EnumFormatEtc",
         {block(private_format, "p.example")},
         {private_format},
         E_NOTIMPL,
         std::nullopt},
        {"listed formats all failing",
         {only_medium(CF_BITMAP, TYMED_GDI)},
         {CF_BITMAP, private_format},
         S_OK,
         std::nullopt},
    };
    for (const Case& c : cases) {
        FakeDataObject data;
        data.offers = c.offers;
        data.enum_result = c.enum_result;
        for (CLIPFORMAT format : c.listed) {
            data.listing.entries.push_back({format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL});
        }
        shortcut.position = 0;
        EXPECT_EQ(find_drop_candidate(&data), c.candidate) << c.what;
        EXPECT_TRUE(data.balanced()) << c.what;
        EXPECT_EQ(shortcut.references, 1u) << c.what;
    }
}

}  // namespace
}  // namespace vth::win
