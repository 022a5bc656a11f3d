// Usage: vth-file-lock PATH...
// Opens every PATH for reading and writing with no sharing, creating it when
// missing, so every other open of it fails with a sharing violation. Prints
// {"event":"locked","files":N} and holds them until stdin ends or the process
// is killed. When a PATH cannot be opened it prints
// {"event":"failed","path":PATH,"error":CODE} and exits with 1.
#include <windows.h>

#include <vector>

#include "common/json_event.hpp"
#include "os/win/common/handles.hpp"
#include "os/win/common/wide.hpp"

namespace {

// Returns at the end of stdin or when it cannot be read (closed, or none).
void wait_for_end_of_input() {
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    char buffer[256];
    DWORD read = 0;
    while (ReadFile(input, buffer, sizeof buffer, &read, nullptr) && read > 0) {
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<vth::win::UniqueHandle> held;
    for (int i = 1; i < argc; ++i) {
        auto file =
            vth::win::own_file(CreateFileW(argv[i], GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            const DWORD error = GetLastError();
            vth::test::print_event("failed", [&](vth::test::EventWriter& w) {
                w.Key("path");
                w.String(vth::win::to_utf8(argv[i]).c_str());
                w.Key("error");
                w.Uint(error);
            });
            return 1;
        }
        held.push_back(std::move(file));
    }
    vth::test::print_event("locked", [&](vth::test::EventWriter& w) {
        w.Key("files");
        w.Uint(static_cast<unsigned>(held.size()));
    });
    wait_for_end_of_input();
    return 0;
}
