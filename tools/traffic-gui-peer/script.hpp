#pragma once
// Scripts of commands and expectations. Each line is a JSON command (sent
// as it is), "sleep MS", "expect TYPE [TIMEOUT_MS]" or
// "expect action:NAME [TIMEOUT_MS]"; blank lines and # comments are skipped.
#include <chrono>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "common/error.hpp"
#include "inbox.hpp"
#include "outbox.hpp"

namespace vth::peer {

inline constexpr std::chrono::milliseconds default_expect_timeout{5000};

namespace step {
struct Send {
    std::string line;
};
struct Sleep {
    std::chrono::milliseconds duration;
};
// A message of the type (and for "action", the action) that came after the
// one the previous expect matched.
struct Expect {
    std::string type;
    std::string action;  // empty: any
    std::chrono::milliseconds timeout = default_expect_timeout;
};
}  // namespace step

struct ScriptStep {
    std::size_t line_number = 0;
    std::variant<step::Send, step::Sleep, step::Expect> what;
};

// Every step, or the first faulty line as "script line N: …".
Result<std::vector<ScriptStep>> parse_script(std::string_view text);

// Runs the steps in order. When the helper ends the connection the rest is
// skipped without error, unless an expect is still waiting; a failed expect
// or send is the error.
Result<void> run_script(std::span<const ScriptStep> steps, Outbox& outbox, Inbox& inbox);

}  // namespace vth::peer
