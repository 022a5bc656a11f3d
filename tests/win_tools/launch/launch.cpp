// Usage: vth-launch [--set NAME=VALUE | --unset NAME]... -- PROGRAM [ARGS...]
// Waits for PROGRAM and exits with its exit code (125 when it cannot start).
#include <windows.h>

#include <cstdio>
#include <string>

#include "os/win/common/handles.hpp"

namespace {

std::wstring quote(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
    std::wstring out = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, L'\\');
    out += L'"';
    return out;
}

bool apply_env_option(const std::wstring& option, const std::wstring& value) {
    if (option == L"--unset") return SetEnvironmentVariableW(value.c_str(), nullptr) || true;
    auto eq = value.find(L'=');
    if (option != L"--set" || eq == std::wstring::npos) return false;
    return SetEnvironmentVariableW(value.substr(0, eq).c_str(), value.substr(eq + 1).c_str());
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    int i = 1;
    for (; i + 1 < argc && std::wstring(argv[i]) != L"--"; i += 2) {
        if (!apply_env_option(argv[i], argv[i + 1])) {
            std::fputs("usage: vth-launch [--set NAME=VALUE | --unset NAME]... -- PROGRAM\n",
                       stderr);
            return 125;
        }
    }
    if (i >= argc || std::wstring(argv[i]) != L"--" || i + 1 >= argc) return 125;
    std::wstring command;
    for (int j = i + 1; j < argc; ++j) command += (j > i + 1 ? L" " : L"") + quote(argv[j]);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &info)) {
        std::fprintf(stderr, "vth-launch: cannot start program (error %lu)\n", GetLastError());
        return 125;
    }
    vth::win::UniqueHandle process(info.hProcess);
    vth::win::UniqueHandle thread(info.hThread);
    WaitForSingleObject(process.get(), INFINITE);
    DWORD code = 125;
    GetExitCodeProcess(process.get(), &code);
    return static_cast<int>(code);
}
