// The native stand-in for starting the helper: fork and exec. Every
// descriptor of the library is close-on-exec, so the child holds none of
// ours; a parent-death signal ends it with the thread that started it, which
// is the client's supervising thread, alive as long as the client. Its
// standard input is empty and its standard output goes to our standard
// error: the Windows helper holds neither of ours, and a caller's output
// stays its own.
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>
#include <vector>

#include "client/helper_launch.hpp"

extern char** environ;

namespace vth::client {
namespace {

using namespace std::chrono_literals;

int exit_code(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

class PosixHelper final : public HelperProcess {
  public:
    explicit PosixHelper(pid_t pid) : pid_(pid) {}
    ~PosixHelper() override {
        if (!code_) kill();
    }
    PosixHelper(const PosixHelper&) = delete;
    PosixHelper& operator=(const PosixHelper&) = delete;

    std::optional<int> wait(std::chrono::milliseconds timeout) override {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!code_) {
            int status = 0;
            const pid_t done = ::waitpid(pid_, &status, WNOHANG);
            if (done == pid_) {
                code_ = exit_code(status);
            } else if (done < 0 && errno != EINTR) {
                code_ = -1;
            } else if (std::chrono::steady_clock::now() >= deadline) {
                break;
            } else {
                std::this_thread::sleep_for(10ms);
            }
        }
        return code_;
    }

    int kill() noexcept override {
        if (code_) return *code_;
        ::kill(pid_, SIGKILL);
        int status = 0;
        pid_t done = 0;
        while ((done = ::waitpid(pid_, &status, 0)) < 0 && errno == EINTR) {
        }
        code_ = done == pid_ ? exit_code(status) : -1;
        return *code_;
    }

    std::uint32_t pid() const override { return static_cast<std::uint32_t>(pid_); }

  private:
    pid_t pid_;
    std::optional<int> code_;
};

class PosixLauncher final : public Launcher {
  public:
    Result<std::unique_ptr<HelperProcess>> start(const std::string& program,
                                                 const std::string& local_app_data) override {
        std::string path = program;
        std::vector<char*> argv{path.data(), nullptr};
        std::string setting = "LOCALAPPDATA=" + local_app_data;
        std::vector<char*> envp;
        for (char** e = environ; *e != nullptr; ++e) {
            if (std::strncmp(*e, "LOCALAPPDATA=", 13) != 0) envp.push_back(*e);
        }
        envp.push_back(setting.data());
        envp.push_back(nullptr);
        const auto slash = program.rfind('/');
        const std::string folder = slash == 0 ? "/" : program.substr(0, slash);

        const int empty = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (empty < 0) {
            const int code = errno;
            return fail("/dev/null: " + os_error_text(std::strerror(code), code), code);
        }
        // Tells the parent why exec failed; closed by a successful exec.
        int report[2];
        if (::pipe2(report, O_CLOEXEC) != 0) {
            const int code = errno;
            ::close(empty);
            return fail("pipe: " + os_error_text(std::strerror(code), code), code);
        }
        const pid_t parent = ::getpid();
        const pid_t pid = ::fork();
        if (pid == 0) {
            // Only async-signal-safe calls from here on.
            ::close(report[0]);
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (::getppid() != parent) ::_exit(127);  // the parent is gone already
            int code = 0;
            if (::dup2(empty, 0) < 0 || ::dup2(2, 1) < 0) {
                code = errno;
            } else if (::chdir(folder.c_str()) != 0) {
                code = errno;
            } else {
                ::execve(path.c_str(), argv.data(), envp.data());
                code = errno;
            }
            (void)!::write(report[1], &code, sizeof code);
            ::_exit(127);
        }
        ::close(report[1]);
        ::close(empty);
        if (pid < 0) {
            const int code = errno;
            ::close(report[0]);
            return fail("fork: " + os_error_text(std::strerror(code), code), code);
        }
        int code = 0;
        ssize_t n = 0;
        while ((n = ::read(report[0], &code, sizeof code)) < 0 && errno == EINTR) {
        }
        ::close(report[0]);
        auto helper = std::make_unique<PosixHelper>(pid);
        if (n == static_cast<ssize_t>(sizeof code)) {
            helper->wait(5s);
            return fail("cannot start " + program + ": " + os_error_text(std::strerror(code), code),
                        code);
        }
        return std::unique_ptr<HelperProcess>(std::move(helper));
    }
};

}  // namespace

Result<std::unique_ptr<Launcher>> make_launcher() {
    return std::unique_ptr<Launcher>(std::make_unique<PosixLauncher>());
}

}  // namespace vth::client
