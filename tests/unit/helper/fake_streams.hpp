#pragma once
// Scripted stand-ins for the GUI connection.
#include <algorithm>
#include <cstddef>
#include <deque>
#include <span>
#include <string>
#include <variant>

#include "helper/byte_stream.hpp"

namespace vth::test {

// Hands out the given chunks in order, then the end of the stream; an Error
// in the script is returned in its turn.
class ScriptedSource : public ByteSource {
  public:
    using Step = std::variant<std::string, Error>;
    explicit ScriptedSource(std::deque<Step> script) : script_(std::move(script)) {}

    Result<std::size_t> read(std::span<char> buffer) override {
        ++reads;
        if (script_.empty()) return 0;
        if (auto* error = std::get_if<Error>(&script_.front())) {
            Error e = *error;
            script_.pop_front();
            return std::unexpected(e);
        }
        auto& chunk = std::get<std::string>(script_.front());
        const std::size_t n = std::min(chunk.size(), buffer.size());
        std::copy_n(chunk.begin(), n, buffer.begin());
        chunk.erase(0, n);
        if (chunk.empty()) script_.pop_front();
        return n;
    }

    int reads = 0;

  private:
    std::deque<Step> script_;
};

// Takes at most the scripted number of bytes per call (the last number
// repeats); an Error in the script is returned in its turn.
class ScriptedSink : public ByteSink {
  public:
    using Step = std::variant<std::size_t, Error>;
    explicit ScriptedSink(std::deque<Step> script) : script_(std::move(script)) {}

    Result<std::size_t> write(std::span<const char> data) override {
        ++writes;
        Step step = script_.front();
        if (script_.size() > 1) script_.pop_front();
        if (auto* error = std::get_if<Error>(&step)) return std::unexpected(*error);
        const std::size_t n = std::min(std::get<std::size_t>(step), data.size());
        written.append(data.data(), n);
        return n;
    }

    std::string written;
    int writes = 0;

  private:
    std::deque<Step> script_;
};

}  // namespace vth::test
