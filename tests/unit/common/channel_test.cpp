#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "common/channel.hpp"

namespace vth {
namespace {

TEST(Channel, FifoAndEmptyAlike) {
    auto [tx, rx] = make_channel<std::string>();
    EXPECT_FALSE(rx.try_receive());
    EXPECT_TRUE(tx.send("a"));
    EXPECT_TRUE(tx.send("b"));
    EXPECT_EQ(rx.try_receive(), "a");
    EXPECT_EQ(rx.try_receive(), "b");
    EXPECT_FALSE(rx.try_receive());
}

TEST(Channel, ReceiverKeepsWhatWasSentBeforeTheSenderLeft) {
    auto [tx, rx] = make_channel<int>();
    tx.send(1);
    tx.close();
    EXPECT_FALSE(rx.sender_alive());
    EXPECT_EQ(rx.try_receive(), 1);
    EXPECT_FALSE(rx.try_receive());
}

TEST(Channel, SendAfterTheReceiverLeftFailsAndDiscards) {
    auto [tx, rx] = make_channel<int>();
    tx.send(1);
    {
        auto gone = std::move(rx);
    }
    EXPECT_FALSE(tx.send(2));
}

TEST(Channel, OneProducerOneConsumerOnTwoThreadsLoseNothing) {
    auto [tx, rx] = make_channel<int>();
    constexpr int count = 20000;
    std::thread producer([tx = std::move(tx)]() mutable {
        for (int i = 0; i < count; ++i) tx.send(i);
    });
    int expected = 0;
    while (expected < count) {
        if (auto value = rx.try_receive()) {
            ASSERT_EQ(*value, expected);
            ++expected;
        } else {
            std::this_thread::yield();
        }
    }
    producer.join();
    EXPECT_FALSE(rx.try_receive());
}

}  // namespace
}  // namespace vth
