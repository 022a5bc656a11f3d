// The C functions of include/vestrilon/traffic_client.h: arguments checked,
// C++ values made from C ones, and no exception past this file.
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <utility>

#include "client/client.hpp"
#include "client/client_files.hpp"
#include "client/inbox_drain.hpp"
#include "client/version_resource.hpp"
#include "common/os.hpp"
#include "vestrilon/traffic_client.h"

struct vtc_client {
    std::unique_ptr<vth::client::Client> client;
    std::mutex error_mutex;
    std::string error;
    // The texts of the event last handed out.
    std::string integrity;
    std::string text;
};

namespace {

using vth::client::EventKind;
using namespace std::chrono_literals;

static_assert(VTC_EVENT_CONNECTED == static_cast<int>(EventKind::connected));
static_assert(VTC_EVENT_GAVE_UP == static_cast<int>(EventKind::gave_up));

thread_local std::string thread_error;

vtc_status fail_thread(vtc_status status, std::string text) {
    thread_error = std::move(text);
    return status;
}

vtc_status fail_client(vtc_client* client, vtc_status status, std::string text) {
    const std::lock_guard lock(client->error_mutex);
    client->error = std::move(text);
    return status;
}

// A struct from the caller holds at least the fields up to `end`.
template <typename T>
bool holds(const T* value, std::size_t end) {
    return value != nullptr && value->size >= end;
}

bool named_vestrilon(const std::string& dir) {
    const auto slash = dir.find_last_of("/\\");
    std::string last = slash == std::string::npos ? dir : dir.substr(slash + 1);
    for (char& c : last) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return last == "vestrilon";
}

std::string parent_of(const std::string& dir) {
    const auto slash = dir.find_last_of("/\\");
    if (slash == 0) return dir.substr(0, 1);
    if (slash == std::string::npos) return {};
    std::string parent = dir.substr(0, slash);
    if (parent.size() == 2 && parent[1] == ':') parent += '\\';  // C:
    return parent;
}

// The data folder and the LOCALAPPDATA that leads the helper there.
vth::Result<std::pair<std::string, std::string>> data_folders(const char* data_dir) {
    if (data_dir == nullptr) {
        auto base = vth::os::env("LOCALAPPDATA");
        if (!base || base->empty()) return vth::fail("LOCALAPPDATA is not set; give data_dir");
        return std::pair{vth::os::join_path(*base, "Vestrilon"), *base};
    }
    std::string dir = data_dir;
    while (dir.size() > 1 && (dir.back() == '/' || dir.back() == '\\')) dir.pop_back();
    if (!vth::client::is_absolute_path(dir))
        return vth::fail("data_dir must be a full path: " + dir);
    if (!named_vestrilon(dir)) {
        return vth::fail(
            "data_dir must be a folder named Vestrilon (the helper finds it as "
            "%LOCALAPPDATA%\\Vestrilon): " +
            dir);
    }
    return std::pair{dir, parent_of(dir)};
}

vtc_status start(const vtc_options* options, vtc_client** out) {
    if (out == nullptr) return fail_thread(VTC_INVALID_ARGUMENT, "no place for the client");
    *out = nullptr;
    if (!holds(options, offsetof(vtc_options, hello_deadline_ms))) {
        return fail_thread(VTC_INVALID_ARGUMENT, "options missing or their size too small");
    }
    if (options->helper_path == nullptr || !vth::client::is_absolute_path(options->helper_path)) {
        return fail_thread(VTC_INVALID_ARGUMENT, "helper_path must be a full path");
    }
    auto folders = data_folders(options->data_dir);
    if (!folders) return fail_thread(VTC_INVALID_ARGUMENT, folders.error().text);
    vth::client::ClientOptions o{.helper_path = options->helper_path,
                                 .data_dir = folders->first,
                                 .local_app_data = folders->second,
                                 .initial = {options->x, options->y},
                                 .hello_deadline = {},
                                 .restart = {}};
    // Each later field counts only when the caller's struct has it.
    auto field = [&](std::size_t offset, std::uint32_t value, std::uint32_t fallback) {
        return options->size >= offset + sizeof(std::uint32_t) && value != 0 ? value : fallback;
    };
    o.hello_deadline = std::chrono::milliseconds(
        field(offsetof(vtc_options, hello_deadline_ms), options->hello_deadline_ms, 15000));
    o.restart.first_delay = std::chrono::milliseconds(
        field(offsetof(vtc_options, restart_delay_ms), options->restart_delay_ms, 500));
    o.restart.max_delay = std::chrono::milliseconds(
        field(offsetof(vtc_options, restart_delay_max_ms), options->restart_delay_max_ms, 30000));
    o.restart.per_minute =
        field(offsetof(vtc_options, restarts_per_minute), options->restarts_per_minute, 5);
    auto client = std::make_unique<vtc_client>();
    auto started = vth::client::Client::start(std::move(o));
    if (!started) return fail_thread(VTC_HELPER_FAILED, started.error().text);
    client->client = std::move(*started);
    *out = client.release();
    return VTC_OK;
}

vtc_status next_event(vtc_client* client, vtc_event* event) {
    if (client == nullptr || !holds(event, offsetof(vtc_event, integrity))) {
        return VTC_INVALID_ARGUMENT;
    }
    const std::size_t size = event->size;
    auto taken = client->client->next_event();
    if (!taken) return VTC_NO_EVENT;
    client->integrity = std::move(taken->integrity);
    client->text = std::move(taken->text);
    vtc_event full{};
    full.size = size;
    full.kind = static_cast<std::int32_t>(taken->kind);
    full.has_position = taken->position ? 1 : 0;
    full.x = taken->position ? taken->position->x : 0;
    full.y = taken->position ? taken->position->y : 0;
    full.hovering = taken->hovering ? 1 : 0;
    full.interacting = taken->interacting ? 1 : 0;
    full.ole_registered = taken->ole_registered ? 1 : 0;
    full.exit_code = taken->exit_code;
    full.delay_ms = taken->delay_ms;
    full.integrity = client->integrity.c_str();
    full.text = client->text.c_str();
    full.text_length = client->text.size();
    std::memcpy(event, &full, std::min(size, sizeof full));
    return VTC_OK;
}

std::string text_or_empty(const char* text) {
    return text == nullptr ? std::string() : std::string(text);
}

vth::command::UpdateContent content_of(const vtc_content& c) {
    vth::command::UpdateContent content;
    content.title = text_or_empty(c.title);
    content.subtitle = text_or_empty(c.subtitle);
    content.drop_hover = c.drop_hover != 0;
    if (c.feedback != nullptr) content.feedback.emplace(c.feedback, c.feedback_ok != 0);
    if (c.samples != nullptr) {
        content.samples.reserve(c.sample_count);
        for (std::size_t i = 0; i < c.sample_count; ++i) {
            content.samples.push_back({c.samples[i].t, c.samples[i].up, c.samples[i].down});
        }
    }
    return content;
}

const char* inbox_name(std::int32_t which) {
    switch (which) {
        case VTC_INBOX_TUNNEL_DOMAINS:
            return "pending-tunnel-domains.txt";
        case VTC_INBOX_TOGGLE_VPN:
            return "pending-toggle-vpn.txt";
        default:
            return nullptr;
    }
}

vtc_status drain(const char* data_dir, std::int32_t which, vtc_line_callback line, void* context) {
    const char* name = inbox_name(which);
    if (name == nullptr || line == nullptr) {
        return fail_thread(VTC_INVALID_ARGUMENT, "unknown inbox or no callback");
    }
    auto folders = data_folders(data_dir);
    if (!folders) return fail_thread(VTC_INVALID_ARGUMENT, folders.error().text);
    std::string copy;
    auto drained = vth::client::drain_inbox(folders->first, name, [&](std::string_view text) {
        copy.assign(text);  // NUL-terminated for C
        line(context, copy.c_str(), copy.size());
    });
    if (!drained) return fail_thread(VTC_SYSTEM_ERROR, drained.error().text);
    return VTC_OK;
}

vtc_status helper_version(const char* path, vtc_version* version) {
    if (path == nullptr || !holds(version, sizeof(vtc_version))) {
        return fail_thread(VTC_INVALID_ARGUMENT, "no path, or the version's size too small");
    }
    auto read = vth::client::read_helper_version(path);
    if (!read) {
        return fail_thread(read.error().os_code == vth::client::unsupported_code ? VTC_UNSUPPORTED
                                                                                 : VTC_SYSTEM_ERROR,
                           read.error().text);
    }
    version->major = read->major;
    version->minor = read->minor;
    version->patch = read->patch;
    version->build = read->build;
    const std::size_t n = std::min(read->build_id.size(), sizeof version->build_id - 1);
    std::memcpy(version->build_id, read->build_id.data(), n);
    version->build_id[n] = '\0';
    return VTC_OK;
}

// Every entry point: memory running out is a status, and nothing else escapes.
template <typename F>
vtc_status guarded(vtc_client* client, F&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        if (client != nullptr) return VTC_OUT_OF_MEMORY;
        return fail_thread(VTC_OUT_OF_MEMORY, "out of memory");
    } catch (...) {
        return VTC_SYSTEM_ERROR;
    }
}

}  // namespace

extern "C" {

vtc_status VTC_CALL vtc_start(const vtc_options* options, vtc_client** client) {
    return guarded(nullptr, [&] { return start(options, client); });
}

intptr_t VTC_CALL vtc_event_handle(vtc_client* client) {
    return client == nullptr ? 0 : client->client->event_handle();
}

vtc_status VTC_CALL vtc_next_event(vtc_client* client, vtc_event* event) {
    return guarded(client, [&] { return next_event(client, event); });
}

vtc_status VTC_CALL vtc_set_visible(vtc_client* client, int visible) {
    if (client == nullptr) return VTC_INVALID_ARGUMENT;
    return guarded(client, [&] {
        client->client->set_visible(visible != 0);
        return VTC_OK;
    });
}

vtc_status VTC_CALL vtc_set_position(vtc_client* client, int32_t x, int32_t y) {
    if (client == nullptr) return VTC_INVALID_ARGUMENT;
    return guarded(client, [&] {
        client->client->set_position({x, y});
        return VTC_OK;
    });
}

vtc_status VTC_CALL vtc_update_content(vtc_client* client, const vtc_content* content) {
    if (client == nullptr) return VTC_INVALID_ARGUMENT;
    return guarded(client, [&] {
        if (!holds(content, sizeof(vtc_content))) {
            return fail_client(client, VTC_INVALID_ARGUMENT,
                               "content missing or its size too small");
        }
        if (content->samples == nullptr && content->sample_count != 0) {
            return fail_client(client, VTC_INVALID_ARGUMENT, "sample_count without samples");
        }
        client->client->update_content(content_of(*content));
        return VTC_OK;
    });
}

vtc_status VTC_CALL vtc_stop(vtc_client* client, uint32_t grace_ms) {
    if (client == nullptr) return VTC_OK;
    const vtc_status status = guarded(client, [&] {
        client->client->stop(std::chrono::milliseconds(grace_ms));
        return VTC_OK;
    });
    delete client;
    return status;
}

vtc_status VTC_CALL vtc_drain_inbox(const char* data_dir, int32_t which, vtc_line_callback line,
                                    void* context) {
    return guarded(nullptr, [&] { return drain(data_dir, which, line, context); });
}

vtc_status VTC_CALL vtc_helper_version(const char* helper_path, vtc_version* version) {
    return guarded(nullptr, [&] { return helper_version(helper_path, version); });
}

const char* VTC_CALL vtc_last_error(vtc_client* client) {
    if (client == nullptr) return thread_error.c_str();
    // A copy of this thread's own: another thread's failing command may
    // replace the client's text while the caller still reads it.
    thread_local std::string copy;
    const std::lock_guard lock(client->error_mutex);
    copy = client->error;
    return copy.c_str();
}

}  // extern "C"
