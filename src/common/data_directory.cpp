#include "common/data_directory.hpp"

#include "common/diagnostics.hpp"
#include "common/integrity.hpp"
#include "common/os.hpp"

namespace vth {
namespace {

void emit_append_refused(std::string_view path, std::string_view reason) {
    if (!diag::has_sink()) return;
    diag::emit({diag::Level::warning,
                std::string(diag::data_directory_target),
                "data directory write refused",
                {{"path", std::string(path)}, {"reason", std::string(reason)}}});
}

}  // namespace

std::optional<std::string> data_directory() {
    auto base = os::env("LOCALAPPDATA");
    if (!base) return std::nullopt;
    return os::join_path(*base, "Vestrilon");
}

std::optional<std::string> data_file(std::string_view name) {
    auto dir = data_directory();
    if (!dir) return std::nullopt;
    return os::join_path(*dir, name);
}

std::optional<std::string_view> append_refusal(std::string_view integrity_level,
                                               const os::AppendTarget& target) noexcept {
    if (!is_elevated(integrity_level)) return std::nullopt;
    if (target.directory_is_reparse_point) return "the data directory is a reparse point";
    if (target.file_is_reparse_point) return "the file is a reparse point";
    if (target.file_has_other_names) return "the file has another name (a hard link)";
    if (target.file_outside_directory)
        return "the file opened is not the one in the data directory";
    return std::nullopt;
}

void append_to_data_file(std::string_view name, std::string_view bytes) noexcept {
    try {
        auto dir = data_directory();
        if (!dir) return;
        os::create_directories(*dir);
        const std::string& level = process_integrity_level();
        if (!is_elevated(level)) {
            os::append_to_file(os::join_path(*dir, name), bytes);
            return;
        }
        std::optional<std::string_view> refusal;
        os::append_to_file_unfollowed(*dir, name, bytes,
                                      [&](const os::AppendTarget& target) noexcept {
                                          refusal = append_refusal(level, target);
                                          return !refusal;
                                      });
        if (refusal) emit_append_refused(os::join_path(*dir, name), *refusal);
    } catch (...) {
        // Out of memory while building the path: the bytes are lost, like any
        // other failed append.
    }
}

}  // namespace vth
