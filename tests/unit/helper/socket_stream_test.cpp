// Real loopback connections: the same source runs natively and under Wine.
#ifdef _WIN32
#include <winsock2.h>
#else
#include <cerrno>
#endif

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "helper/send_message.hpp"
#include "helper/socket_stream.hpp"

namespace vth {
namespace {

using namespace std::chrono_literals;

#ifdef _WIN32
constexpr long connection_refused = WSAECONNREFUSED;
#else
constexpr long connection_refused = ECONNREFUSED;
#endif

std::string payload(std::size_t size, char seed) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((std::size_t{static_cast<unsigned char>(seed)} + i * 7) % 251);
    return bytes;
}

// Up to size bytes: fewer only when the stream ended; the error text on failure.
std::string read_up_to(ByteSource& source, std::size_t size) {
    std::string got;
    std::vector<char> buffer(std::size_t{64} * 1024);
    while (got.size() < size) {
        const std::size_t want = std::min(buffer.size(), size - got.size());
        auto n = source.read(std::span(buffer.data(), want));
        if (!n && is_interrupted(n.error())) continue;
        if (!n) return "<error " + n.error().text + ">";
        if (*n == 0) break;
        got.append(buffer.data(), *n);
    }
    return got;
}

void expect_os_error_text(const Error& error) {
    const std::string suffix = " (os error " + std::to_string(error.os_code) + ")";
    EXPECT_NE(error.os_code, 0);
    // Wine has no message for some codes, so only the end is fixed.
    EXPECT_TRUE(error.text.ends_with(suffix)) << error.text;
}

struct Connection {
    std::unique_ptr<SocketListener> listener;
    std::unique_ptr<SocketStream> client;
    std::unique_ptr<SocketStream> server;
};

void open_connection(Connection& c) {
    auto listening = listen_loopback();
    ASSERT_TRUE(listening) << listening.error().text;
    c.listener = std::move(*listening);
    ASSERT_NE(c.listener->port(), 0);
    auto connected = connect_tcp("127.0.0.1", c.listener->port());
    ASSERT_TRUE(connected) << connected.error().text;
    c.client = std::move(*connected);
    auto accepted = c.listener->accept(10s);
    ASSERT_TRUE(accepted) << accepted.error().text;
    c.server = std::move(*accepted);
    for (SocketStream* s : {c.client.get(), c.server.get()}) {
        auto no_delay = s->set_no_delay();
        ASSERT_TRUE(no_delay) << no_delay.error().text;
    }
}

struct TransferRow {
    std::string name;
    bool from_client;
    std::size_t size;
};

TEST(SocketStream, CarriesBytesBothWays) {
    Connection c;
    ASSERT_NO_FATAL_FAILURE(open_connection(c));
    const std::vector<TransferRow> rows = {
        {"client to server, one byte", true, 1},
        {"server to client, one byte", false, 1},
        // More than any socket buffer: the writer must wait for the reader.
        {"client to server, 4 MiB", true, 4 << 20},
        {"server to client, 4 MiB", false, 4 << 20},
    };
    char seed = 'a';
    for (const auto& row : rows) {
        SocketStream& from = row.from_client ? *c.client : *c.server;
        SocketStream& to = row.from_client ? *c.server : *c.client;
        const std::string sent = payload(row.size, seed++);
        Result<void> written;
        std::thread writer([&] { written = write_all(from, sent); });
        const std::string got = read_up_to(to, sent.size());
        writer.join();
        EXPECT_TRUE(written) << row.name << ": " << written.error().text;
        EXPECT_TRUE(got == sent) << row.name << ": got " << got.size() << " bytes";
    }
}

TEST(SocketStream, DuplicateReadsWhileTheOriginalWrites) {
    Connection c;
    ASSERT_NO_FATAL_FAILURE(open_connection(c));
    auto duplicate = c.server->duplicate();
    ASSERT_TRUE(duplicate) << duplicate.error().text;
    const std::string down = payload(2 << 20, 'd');
    const std::string up = payload(2 << 20, 'u');
    Result<void> down_written;
    Result<void> up_written;
    std::string client_got;
    std::thread server_writer([&] { down_written = write_all(*c.server, down); });
    std::thread client_writer([&] { up_written = write_all(*c.client, up); });
    std::thread client_reader([&] { client_got = read_up_to(*c.client, down.size()); });
    const std::string server_got = read_up_to(**duplicate, up.size());
    server_writer.join();
    client_writer.join();
    client_reader.join();
    EXPECT_TRUE(down_written && up_written);
    EXPECT_TRUE(server_got == up) << server_got.size();
    EXPECT_TRUE(client_got == down) << client_got.size();
}

TEST(SocketStream, DuplicateOutlivesTheOriginal) {
    Connection c;
    ASSERT_NO_FATAL_FAILURE(open_connection(c));
    auto duplicate = c.server->duplicate();
    ASSERT_TRUE(duplicate) << duplicate.error().text;
    c.server.reset();
    ASSERT_TRUE(write_all(**duplicate, "ping"));
    EXPECT_EQ(read_up_to(*c.client, 4), "ping");
    ASSERT_TRUE(write_all(*c.client, "pong"));
    EXPECT_EQ(read_up_to(**duplicate, 4), "pong");
}

TEST(SocketStream, NoDelayReadsBackFromTheSystem) {
    auto listening = listen_loopback();
    ASSERT_TRUE(listening) << listening.error().text;
    auto connected = connect_tcp("127.0.0.1", (*listening)->port());
    ASSERT_TRUE(connected) << connected.error().text;
    SocketStream& stream = **connected;
    auto before = stream.no_delay();
    ASSERT_TRUE(before) << before.error().text;
    EXPECT_FALSE(*before);
    ASSERT_TRUE(stream.set_no_delay());
    auto after = stream.no_delay();
    ASSERT_TRUE(after) << after.error().text;
    EXPECT_TRUE(*after);
}

TEST(SocketStream, OneWriteHandsOverAtMostOnePiece) {
    Connection c;
    ASSERT_NO_FATAL_FAILURE(open_connection(c));
    const std::string sent = payload(max_write_piece * 4, 'p');
    auto written = c.client->write(sent);
    ASSERT_TRUE(written) << written.error().text;
    EXPECT_GT(*written, 0u);
    EXPECT_LE(*written, max_write_piece);
    EXPECT_TRUE(read_up_to(*c.server, *written) == sent.substr(0, *written));
}

struct EndRow {
    std::string name;
    bool close_client;  // otherwise the client only stops sending
};

TEST(SocketStream, PeerEndingItsSideGivesEndOfStream) {
    const std::vector<EndRow> rows = {{"closed", true}, {"shut down for writing", false}};
    for (const auto& row : rows) {
        Connection pair;
        ASSERT_NO_FATAL_FAILURE(open_connection(pair));
        ASSERT_TRUE(write_all(*pair.client, "last"));
        if (row.close_client) {
            pair.client.reset();
        } else {
            ASSERT_TRUE(pair.client->shut_down_write());
        }
        EXPECT_EQ(read_up_to(*pair.server, 100), "last") << row.name;
        std::array<char, 16> buffer{};
        auto end = pair.server->read(buffer);
        ASSERT_TRUE(end) << row.name << ": " << end.error().text;
        EXPECT_EQ(*end, 0u) << row.name;

        if (!row.close_client) {
            // The other direction still carries data.
            ASSERT_TRUE(write_all(*pair.server, "reply"));
            EXPECT_EQ(read_up_to(*pair.client, 5), "reply");
            continue;
        }
        // The first write after the close may still be taken: the reset that
        // refuses it comes back from the peer. A later one fails.
        std::optional<Error> failed;
        for (int attempt = 0; attempt < 200 && !failed; ++attempt) {
            auto written = pair.server->write(std::span("more", 4));
            if (!written) failed = written.error();
            std::this_thread::sleep_for(5ms);
        }
        ASSERT_TRUE(failed) << row.name << ": writes to a closed peer kept succeeding";
        expect_os_error_text(*failed);
    }
}

TEST(SocketStream, ConnectingWhereNobodyListensIsRefused) {
    std::uint16_t port = 0;
    {
        auto listener = listen_loopback();
        ASSERT_TRUE(listener) << listener.error().text;
        port = (*listener)->port();
    }
    auto connected = connect_tcp("127.0.0.1", port);
    ASSERT_FALSE(connected);
    EXPECT_EQ(connected.error().os_code, connection_refused) << connected.error().text;
    expect_os_error_text(connected.error());
}

TEST(SocketStream, AcceptWithoutCallerTimesOut) {
    auto listener = listen_loopback();
    ASSERT_TRUE(listener) << listener.error().text;
    const auto start = std::chrono::steady_clock::now();
    auto accepted = (*listener)->accept(100ms);
    ASSERT_FALSE(accepted);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 90ms);
    EXPECT_TRUE(is_timeout(accepted.error())) << accepted.error().text;
    expect_os_error_text(accepted.error());
}

TEST(SocketStream, WriteToAPeerThatStopsReadingTimesOut) {
    Connection c;
    ASSERT_NO_FATAL_FAILURE(open_connection(c));
    ASSERT_TRUE(c.client->set_write_timeout(300ms));
    const std::string chunk(std::size_t{256} * 1024, 'x');
    const auto start = std::chrono::steady_clock::now();
    std::optional<Error> failed;
    // The server never reads: once both buffers are full, a write must give up.
    while (!failed && std::chrono::steady_clock::now() - start < 10s) {
        auto written = c.client->write(chunk);
        if (!written && !is_interrupted(written.error())) failed = written.error();
    }
    ASSERT_TRUE(failed) << "still writing after 10 s";
    EXPECT_TRUE(is_timeout(*failed)) << failed->text;
    expect_os_error_text(*failed);
}

}  // namespace
}  // namespace vth
