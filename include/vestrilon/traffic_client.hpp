// vestrilon-traffic-client for C++ (C++23): an owner for the client, owned
// strings in events, std::string_view and std::span at the calls, and
// failures as std::expected. Header-only over traffic_client.h; nothing here
// throws except std::bad_alloc.
#pragma once

#include <chrono>
#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "vestrilon/traffic_client.h"

namespace vestrilon::traffic {

struct Failure {
    vtc_status status = VTC_OK;
    std::string text;
};

template <typename T>
using Result = std::expected<T, Failure>;

struct Options {
    std::string_view helper_path;
    std::string_view data_dir;  // empty: %LOCALAPPDATA%\Vestrilon
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::chrono::milliseconds hello_deadline{0};  // zero: the library's defaults
    std::chrono::milliseconds restart_delay{0};
    std::chrono::milliseconds restart_delay_max{0};
    std::uint32_t restarts_per_minute = 0;
};

struct Event {
    vtc_event_kind kind = VTC_EVENT_NONE;
    std::optional<std::pair<std::int32_t, std::int32_t>> position;
    bool hovering = false;
    bool interacting = false;
    bool ole_registered = false;
    int exit_code = -1;
    std::chrono::milliseconds delay{0};
    std::string integrity;
    std::string text;
};

struct Content {
    std::string_view title;
    std::string_view subtitle;
    std::optional<std::pair<std::string_view, bool>> feedback;
    std::span<const vtc_sample> samples;
    bool drop_hover = false;
};

namespace detail {

inline Failure failure(vtc_status status, vtc_client* client = nullptr) {
    return Failure{status, vtc_last_error(client)};
}

inline Result<void> check(vtc_status status, vtc_client* client) {
    if (status == VTC_OK) return {};
    return std::unexpected(failure(status, client));
}

inline std::uint32_t ms(std::chrono::milliseconds value) {
    return static_cast<std::uint32_t>(value.count());
}

}  // namespace detail

// One helper, started and watched over. Move-only; destroying it stops the
// helper with the default grace. Commands from any thread; events from one.
class Client {
  public:
    static constexpr std::chrono::milliseconds default_grace{2000};

    static Result<Client> start(const Options& options) {
        const std::string helper(options.helper_path);
        const std::string data(options.data_dir);
        vtc_options o{};
        o.size = sizeof o;
        o.helper_path = helper.c_str();
        o.data_dir = data.empty() ? nullptr : data.c_str();
        o.x = options.x;
        o.y = options.y;
        o.hello_deadline_ms = detail::ms(options.hello_deadline);
        o.restart_delay_ms = detail::ms(options.restart_delay);
        o.restart_delay_max_ms = detail::ms(options.restart_delay_max);
        o.restarts_per_minute = options.restarts_per_minute;
        vtc_client* client = nullptr;
        if (const vtc_status status = vtc_start(&o, &client); status != VTC_OK) {
            return std::unexpected(detail::failure(status));
        }
        return Client(client);
    }

    Client(Client&& other) noexcept : client_(std::exchange(other.client_, nullptr)) {}
    Client& operator=(Client&& other) noexcept {
        if (this != &other) {
            (void)stop(default_grace);
            client_ = std::exchange(other.client_, nullptr);
        }
        return *this;
    }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;
    ~Client() { (void)stop(default_grace); }

    // A HANDLE on Windows, a file descriptor elsewhere; signalled while events wait.
    std::intptr_t event_handle() const { return vtc_event_handle(client_); }

    std::optional<Event> next_event() {
        vtc_event e{};
        e.size = sizeof e;
        if (vtc_next_event(client_, &e) != VTC_OK) return std::nullopt;
        Event event;
        event.kind = static_cast<vtc_event_kind>(e.kind);
        if (e.has_position != 0) event.position.emplace(e.x, e.y);
        event.hovering = e.hovering != 0;
        event.interacting = e.interacting != 0;
        event.ole_registered = e.ole_registered != 0;
        event.exit_code = e.exit_code;
        event.delay = std::chrono::milliseconds(e.delay_ms);
        if (e.integrity != nullptr) event.integrity = e.integrity;
        event.text.assign(e.text, e.text_length);
        return event;
    }

    Result<void> set_visible(bool visible) {
        return detail::check(vtc_set_visible(client_, visible ? 1 : 0), client_);
    }
    Result<void> set_position(std::int32_t x, std::int32_t y) {
        return detail::check(vtc_set_position(client_, x, y), client_);
    }
    Result<void> update_content(const Content& content) {
        const std::string title(content.title);
        const std::string subtitle(content.subtitle);
        const std::string feedback(content.feedback ? content.feedback->first : std::string_view());
        vtc_content c{};
        c.size = sizeof c;
        c.title = title.c_str();
        c.subtitle = subtitle.c_str();
        c.feedback = content.feedback ? feedback.c_str() : nullptr;
        c.feedback_ok = content.feedback && content.feedback->second ? 1 : 0;
        c.drop_hover = content.drop_hover ? 1 : 0;
        c.samples = content.samples.data();
        c.sample_count = content.samples.size();
        return detail::check(vtc_update_content(client_, &c), client_);
    }

    // Sends shutdown, waits up to grace, ends the helper if needed. The
    // client is empty afterwards.
    Result<void> stop(std::chrono::milliseconds grace) {
        if (client_ == nullptr) return {};
        const vtc_status status = vtc_stop(std::exchange(client_, nullptr), detail::ms(grace));
        if (status == VTC_OK) return {};
        return std::unexpected(Failure{status, "stopping the helper failed"});
    }

  private:
    explicit Client(vtc_client* client) : client_(client) {}
    vtc_client* client_ = nullptr;
};

// Every line of one inbox file, none lost or given twice; data_dir empty for
// the default folder. on_line(std::string_view) must not throw.
template <typename OnLine>
Result<void> drain_inbox(std::string_view data_dir, vtc_inbox which, OnLine&& on_line) {
    using Callable = std::remove_reference_t<OnLine>;
    const std::string data(data_dir);
    vtc_line_callback call = [](void* context, const char* text, size_t length) {
        (*static_cast<Callable*>(context))(std::string_view(text, length));
    };
    void* context = const_cast<void*>(static_cast<const void*>(&on_line));
    const vtc_status status =
        vtc_drain_inbox(data.empty() ? nullptr : data.c_str(), which, call, context);
    if (status == VTC_OK) return {};
    return std::unexpected(detail::failure(status));
}

// The helper's version and build id, from its file alone.
inline Result<vtc_version> helper_version(std::string_view helper_path) {
    const std::string path(helper_path);
    vtc_version version{};
    version.size = sizeof version;
    const vtc_status status = vtc_helper_version(path.c_str(), &version);
    if (status != VTC_OK) return std::unexpected(detail::failure(status));
    return version;
}

}  // namespace vestrilon::traffic
