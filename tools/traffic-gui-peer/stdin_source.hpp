#pragma once
// Standard input as a byte source, read without stdio buffering so a thread
// blocked on it holds no stdio lock at exit.
#include "helper/byte_stream.hpp"

namespace vth::peer {

class StdinSource : public ByteSource {
  public:
    StdinSource();
    Result<std::size_t> read(std::span<char> buffer) override;
};

}  // namespace vth::peer
