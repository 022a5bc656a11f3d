#include "common/diagnostics.hpp"

#include <atomic>

namespace vth::diag {
namespace {
Sink& sink_slot() {
    static Sink sink;
    return sink;
}
std::atomic<bool> installed{false};
}  // namespace

void set_sink(Sink sink) {
    installed.store(false);
    sink_slot() = std::move(sink);
    installed.store(static_cast<bool>(sink_slot()));
}

bool has_sink() noexcept {
    return installed.load();
}

void emit(const Event& event) {
    if (installed.load()) sink_slot()(event);
}

}  // namespace vth::diag
