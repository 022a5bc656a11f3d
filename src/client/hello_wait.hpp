#pragma once
// Waiting for the helper's call: connections are accepted until one sends a
// hello with our token, and every other one is closed, so a program that
// reaches the port first cannot take the helper's place or keep it out.
// The client library and traffic-gui-peer both wait this way. Called by one
// thread, which owns the listener for the while.
#include <cstddef>
#include <expected>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "client/helper_lines.hpp"
#include "client/loopback.hpp"
#include "client/restart_policy.hpp"
#include "common/error.hpp"
#include "protocol/helper_message.hpp"

namespace vth::client {

// Why a connection was closed before it said our hello.
enum class Refusal {
    ended,       // it closed or failed first
    silent,      // no whole first line within the silence limit
    too_long,    // a first line longer than any hello
    first_line,  // a first line that is not a hello with our token
    crowded,     // the oldest of too many connections waiting
};

struct Refused {
    Refusal why = Refusal::ended;
    std::string first_line;  // Refusal::first_line only
};

struct HelloWait {
    std::string_view token;
    Clock::time_point deadline;
    // A connection that sent no whole first line this long after it was
    // accepted is closed; zero keeps it until the deadline.
    Milliseconds silence_limit{0};
    // Asked between slices of the wait; true ends it at once.
    std::function<bool()> give_up;
    // Told of each connection closed on the way; may be empty.
    std::function<void(const Refused&)> refused;
};

struct Greeted {
    std::unique_ptr<Connection> connection;
    message::Hello hello;
    std::string hello_line;
    LineBuffer rest;  // what came after the hello line
};

struct NoHello {
    enum class End { deadline, given_up, accept_failed };
    End end = End::deadline;
    Error error;              // End::accept_failed: what the system said
    std::size_t refused = 0;  // connections closed on the way
};

std::expected<Greeted, NoHello> await_hello(Listener& listener, const HelloWait& wait);

}  // namespace vth::client
