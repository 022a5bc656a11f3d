#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>
#include <vector>

#include "common/os.hpp"
#include "helper_process.hpp"

extern char** environ;

namespace vth::peer {
namespace {

using namespace std::chrono_literals;

bool is_windows_program(std::string_view program) {
    if (program.size() < 4) return false;
    std::string suffix(program.substr(program.size() - 4));
    for (char& c : suffix) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return suffix == ".exe";
}

std::string wine_program() {
    if (auto wine = os::env("WINE"); wine && !wine->empty()) return *wine;
    const std::string path = os::env("PATH").value_or("/usr/bin");
    for (const char* name : {"wine", "wine64"}) {
        for (std::size_t at = 0; at <= path.size();) {
            const auto end = std::min(path.find(':', at), path.size());
            const std::string candidate = os::join_path(path.substr(at, end - at), name);
            if (::access(candidate.c_str(), X_OK) == 0) return candidate;
            at = end + 1;
        }
    }
    return "/usr/lib/wine/wine64";  // Debian's wine64 package keeps it here
}

// The path as Wine's Z: drive shows it.
std::string wine_path(const std::string& path) {
    std::error_code ignored;  // an empty result fails the start instead
    std::string absolute = std::filesystem::absolute(path, ignored).lexically_normal().string();
    std::replace(absolute.begin(), absolute.end(), '/', '\\');
    return "Z:" + absolute;
}

// cmd would split or expand these, and Wine quotes blanks for cmd in a way
// cmd does not undo.
bool plain_for_cmd(std::string_view path) {
    return path.find_first_of(" \t\"&|<>^%()") == std::string_view::npos;
}

int exit_code(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

// Wine with what it started, in a process group of their own, ended together.
class WineHelper final : public HelperProcess {
  public:
    explicit WineHelper(pid_t pid) : pid_(pid) {}
    std::uint32_t pid() const override { return static_cast<std::uint32_t>(pid_); }
    ~WineHelper() override {
        if (!code_) kill();
    }

    std::optional<int> wait(std::chrono::milliseconds timeout) override {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!code_) {
            int status = 0;
            const pid_t done = ::waitpid(pid_, &status, WNOHANG);
            if (done == pid_) {
                code_ = exit_code(status);
            } else if (done < 0 && errno != EINTR) {
                code_ = -1;  // not our child any more: nothing to wait for
            } else if (std::chrono::steady_clock::now() >= deadline) {
                break;
            } else {
                std::this_thread::sleep_for(20ms);
            }
        }
        return code_;
    }

    int kill() override {
        if (code_) return *code_;
        ::kill(-pid_, SIGKILL);
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        code_ = exit_code(status);
        return *code_;
    }

  private:
    pid_t pid_;
    std::optional<int> code_;
};

struct SpawnSetup {
    posix_spawn_file_actions_t actions{};
    posix_spawnattr_t attributes{};
    SpawnSetup() {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attributes);
    }
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;
};

}  // namespace

Result<std::unique_ptr<HelperProcess>> start_helper(const std::string& program,
                                                    const std::string& data_dir) {
    if (!is_windows_program(program)) {
        std::error_code error;
        const auto absolute = std::filesystem::absolute(program, error);
        if (error) return fail("helper " + program + ": " + error.message());
        return start_as_library_does(absolute.lexically_normal().string(), data_dir);
    }
    const std::string exe = wine_path(program);
    const std::string data = wine_path(data_dir);
    if (!plain_for_cmd(exe) || !plain_for_cmd(data)) {
        return fail("under Wine, these paths must hold no blanks or any of \"&|<>^%(): " + exe +
                    " " + data);
    }
    // Wine sets LOCALAPPDATA from its own profile, so it is set inside.
    std::vector<std::string> args = {wine_program(), "cmd", "/c",
                                     "set LOCALAPPDATA=" + data + "&& " + exe};
    std::vector<std::string> settings;  // NAME=value, over the inherited ones
    if (!os::env("WINEDEBUG")) settings.push_back("WINEDEBUG=-all");

    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string_view entry(*e);
        const bool replaced = std::ranges::any_of(settings, [&](const std::string& s) {
            return entry.substr(0, entry.find('=') + 1) == s.substr(0, s.find('=') + 1);
        });
        if (!replaced) envp.push_back(*e);
    }
    for (auto& s : settings) envp.push_back(s.data());
    envp.push_back(nullptr);

    SpawnSetup setup;
    posix_spawn_file_actions_addopen(&setup.actions, 0, "/dev/null", O_RDONLY, 0);
    // Our standard output carries the messages only.
    posix_spawn_file_actions_adddup2(&setup.actions, 2, 1);
    posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&setup.attributes, 0);
    pid_t pid = 0;
    const int rc =
        ::posix_spawnp(&pid, argv[0], &setup.actions, &setup.attributes, argv.data(), envp.data());
    if (rc != 0)
        return fail("cannot start " + args[0] + ": " + os_error_text(std::strerror(rc), rc), rc);
    return std::make_unique<WineHelper>(pid);
}

}  // namespace vth::peer
