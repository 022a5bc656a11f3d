#include "client/hello_wait.hpp"

#include <array>
#include <vector>

namespace vth::client {
namespace {

using namespace std::chrono_literals;

constexpr auto accept_slice = 50ms;
// Connections that have not yet said anything, at most; the oldest goes.
constexpr std::size_t max_candidates = 8;

struct Candidate {
    std::unique_ptr<Connection> connection;
    LineBuffer lines;
    Clock::time_point accepted;
};

// What the connection sent so far, judged; a refusal fills why.
Verdict judge(Candidate& candidate, const HelloWait& wait, Refused& why, Greeted& greeted) {
    std::array<char, 4096> buffer{};
    // A helper may say hello and close before we look: what came first counts.
    bool ended = false;
    for (;;) {
        auto got = candidate.connection->read(buffer, 0ms);
        if (!got || (*got && **got == 0)) {
            ended = true;
            break;
        }
        if (!*got) break;
        candidate.lines.add(std::string_view(buffer.data(), **got));
        if (candidate.lines.pending_bytes() > hello_line_limit) break;
    }
    auto line = candidate.lines.take();
    const Verdict verdict =
        judge_first_line(line, candidate.lines.pending_bytes(), wait.token, &greeted.hello);
    if (verdict == Verdict::ours) {
        greeted.hello_line = std::move(*line);
    } else if (verdict == Verdict::refused) {
        why.why =
            line && line->size() <= hello_line_limit ? Refusal::first_line : Refusal::too_long;
        if (why.why == Refusal::first_line) why.first_line = std::move(*line);
    } else if (ended) {
        why.why = Refusal::ended;
        return Verdict::refused;
    } else if (wait.silence_limit > 0ms &&
               Clock::now() - candidate.accepted >= wait.silence_limit) {
        why.why = Refusal::silent;
        return Verdict::refused;
    }
    return verdict;
}

}  // namespace

std::expected<Greeted, NoHello> await_hello(Listener& listener, const HelloWait& wait) {
    std::vector<Candidate> candidates;
    NoHello missing;
    auto refuse = [&](Candidate& candidate, const Refused& why) {
        candidate.connection->shut_down();
        ++missing.refused;
        if (wait.refused) wait.refused(why);
    };
    while (Clock::now() < wait.deadline) {
        if (wait.give_up && wait.give_up()) {
            missing.end = NoHello::End::given_up;
            return std::unexpected(std::move(missing));
        }
        auto accepted = listener.accept_one(accept_slice);
        if (!accepted) {
            missing.end = NoHello::End::accept_failed;
            missing.error = accepted.error();
            return std::unexpected(std::move(missing));
        }
        if (*accepted) {
            if (candidates.size() == max_candidates) {
                refuse(candidates.front(), Refused{Refusal::crowded, {}});
                candidates.erase(candidates.begin());
            }
            candidates.push_back(Candidate{std::move(*accepted), LineBuffer(), Clock::now()});
        }
        for (auto it = candidates.begin(); it != candidates.end();) {
            Refused why;
            Greeted greeted;
            const Verdict verdict = judge(*it, wait, why, greeted);
            if (verdict == Verdict::ours) {
                greeted.connection = std::move(it->connection);
                greeted.rest = std::move(it->lines);
                return greeted;
            }
            if (verdict == Verdict::refused) {
                refuse(*it, why);
                it = candidates.erase(it);
            } else {
                ++it;
            }
        }
    }
    missing.end = NoHello::End::deadline;
    return std::unexpected(std::move(missing));
}

}  // namespace vth::client
