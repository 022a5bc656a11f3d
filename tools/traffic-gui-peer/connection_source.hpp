#pragma once
// The helper's connection as the reader thread reads it: first the bytes
// that came with the hello, then the connection itself. One thread reads;
// the connection is shared with the writers.
#include <memory>
#include <string>

#include "client/loopback.hpp"
#include "helper/byte_stream.hpp"

namespace vth::peer {

class ConnectionSource final : public ByteSource {
  public:
    ConnectionSource(std::shared_ptr<client::Connection> connection, std::string already_read)
        : connection_(std::move(connection)), held_(std::move(already_read)) {}

    // Waits as long as the connection stays open and silent.
    Result<std::size_t> read(std::span<char> buffer) override;

  private:
    std::shared_ptr<client::Connection> connection_;
    std::string held_;
    std::size_t held_from_ = 0;
};

}  // namespace vth::peer
