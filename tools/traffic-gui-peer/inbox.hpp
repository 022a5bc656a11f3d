#pragma once
// Messages from the helper: printed as they arrive, counted by type and
// waited for by the script. The reader thread adds, any thread waits.
#include <cstddef>
#include <cstdio>
#include <map>
#include <string>
#include <string_view>

#include "helper/byte_stream.hpp"
#include "waitable_list.hpp"

namespace vth::peer {

// The fields the peer looks at; empty when absent or not strings.
struct Message {
    std::string type;  // "(not JSON)" or "(no type)" when there is none
    std::string action;
    std::string token;
};

Message parse_message(std::string_view line);

class Inbox : public WaitableList<Message> {
  public:
    // Lines go to out as "<ms since start> <line>".
    Inbox(Clock::time_point start, std::FILE* out) : start_(start), out_(out) {}

    // Called by the reader thread alone, so lines are printed in list order.
    void add(std::string_view line);
    std::map<std::string, std::size_t> counts() const;

  private:
    Clock::time_point start_;
    std::FILE* out_;
};

// The reader thread's body: lines until the end of the stream or a read
// error (reported on stderr), then the inbox is closed.
void receive(ByteSource& source, Inbox& inbox);

}  // namespace vth::peer
