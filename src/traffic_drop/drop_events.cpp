#include "traffic_drop/drop_events.hpp"

#include "common/diagnostics.hpp"

namespace vth::drop {
namespace {

void emit(diag::Level level, std::string message, std::string field = {}, std::string value = {}) {
    if (!diag::has_sink()) return;
    diag::Event event{level, std::string(diag::drop_target), std::move(message), {}};
    if (!field.empty()) event.fields.push_back({std::move(field), std::move(value)});
    diag::emit(event);
}

}  // namespace

void emit_registered() {
    emit(diag::Level::info, "overlay OLE RegisterDragDrop ok");
}

void emit_register_failed(const Error& error) {
    emit(diag::Level::warning, "RegisterDragDrop failed", "error", error.text);
}

void emit_drop_parse_failed() {
    emit(diag::Level::warning, "overlay drop parse failed", "error",
         hresult_error_text("drop does not contain URL or text", dv_e_formatetc));
}

void emit_drop_received(std::string_view text) {
    emit(diag::Level::info, "overlay received URL/text drop", "text", std::string(text));
}

}  // namespace vth::drop
