#include <windows.h>

#include <algorithm>
#include <vector>

#include "client/helper_launch.hpp"
#include "os/win/common/handles.hpp"
#include "os/win/common/owned.hpp"
#include "os/win/common/system_message.hpp"
#include "os/win/common/wide.hpp"

namespace vth::client {
namespace {

using namespace std::chrono_literals;

void free_environment(wchar_t* block) {
    FreeEnvironmentStringsW(block);
}
using EnvironmentStrings = win::Owned<wchar_t*, free_environment>;

Error failure(const std::string& what) {
    const Error error = win::last_error();
    return Error{what + ": " + error.text, error.os_code};
}

bool same_name(std::wstring_view entry, std::wstring_view name) {
    const auto equals = entry.find(L'=', 1);  // "=C:=C:\..." entries start with '='
    if (equals == std::wstring_view::npos) return false;
    return CompareStringOrdinal(entry.data(), static_cast<int>(equals), name.data(),
                                static_cast<int>(name.size()), TRUE) == CSTR_EQUAL;
}

// Ours with LOCALAPPDATA replaced, sorted by name as CreateProcessW asks.
std::wstring environment_with(const std::wstring& local_app_data) {
    std::vector<std::wstring> entries;
    EnvironmentStrings strings(GetEnvironmentStringsW());
    for (const wchar_t* p = strings.get(); p != nullptr && *p != L'\0'; p += wcslen(p) + 1) {
        if (!same_name(p, L"LOCALAPPDATA")) entries.emplace_back(p);
    }
    entries.push_back(L"LOCALAPPDATA=" + local_app_data);
    std::ranges::sort(entries, [](const std::wstring& a, const std::wstring& b) {
        return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_LESS_THAN;
    });
    std::wstring block;
    for (const auto& e : entries) {
        block += e;
        block += L'\0';
    }
    block += L'\0';
    return block;
}

// A relative path made full, so the helper's folder is a full path too.
std::wstring full_path(const std::wstring& path) {
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0) return path;
    std::wstring full(size, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
    if (length == 0 || length >= size) return path;
    full.resize(length);
    return full;
}

class WinHelper final : public HelperProcess {
  public:
    WinHelper(win::UniqueHandle process, DWORD pid) : process_(std::move(process)), pid_(pid) {}
    ~WinHelper() override {
        if (!code_) kill();
    }
    WinHelper(const WinHelper&) = delete;
    WinHelper& operator=(const WinHelper&) = delete;

    std::optional<int> wait(std::chrono::milliseconds timeout) override {
        if (code_) return code_;
        const auto ms = static_cast<DWORD>(std::clamp<long long>(timeout.count(), 0, INFINITE - 1));
        if (WaitForSingleObject(process_.get(), ms) != WAIT_OBJECT_0) return std::nullopt;
        DWORD code = 0;
        code_ = GetExitCodeProcess(process_.get(), &code) ? static_cast<int>(code) : -1;
        return code_;
    }

    int kill() noexcept override {
        if (code_) return *code_;
        TerminateProcess(process_.get(), 1);
        try {
            return wait(10s).value_or(-1);
        } catch (...) {
            return -1;
        }
    }

    std::uint32_t pid() const override { return pid_; }

  private:
    win::UniqueHandle process_;
    DWORD pid_;
    std::optional<int> code_;
};

class WinLauncher final : public Launcher {
  public:
    explicit WinLauncher(win::UniqueHandle job) : job_(std::move(job)) {}

    Result<std::unique_ptr<HelperProcess>> start(const std::string& program,
                                                 const std::string& local_app_data) override {
        const std::wstring application = full_path(win::to_wide(program));
        std::wstring command_line = L"\"" + application + L"\"";
        const auto slash = application.find_last_of(L"\\/");
        const std::wstring folder =
            slash == std::wstring::npos ? std::wstring() : application.substr(0, slash + 1);
        std::wstring environment = environment_with(win::to_wide(local_app_data));

        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        // Inherits no handle at all, not even standard ones: our socket in
        // the helper would keep the connection open after we die. (An empty
        // PROC_THREAD_ATTRIBUTE_HANDLE_LIST, which would say the same, is
        // refused with ERROR_BAD_LENGTH.) Suspended until it is in the job,
        // so not one instruction runs outside it.
        if (!CreateProcessW(application.c_str(), command_line.data(), nullptr, nullptr, FALSE,
                            CREATE_SUSPENDED | CREATE_UNICODE_ENVIRONMENT, environment.data(),
                            folder.empty() ? nullptr : folder.c_str(), &startup, &info)) {
            return std::unexpected(failure("cannot start " + program));
        }
        win::UniqueHandle process(info.hProcess);
        const win::UniqueHandle thread(info.hThread);
        if (!AssignProcessToJobObject(job_.get(), process.get())) {
            Error error = failure("cannot put the helper in a job object");
            TerminateProcess(process.get(), 1);
            WaitForSingleObject(process.get(), 5000);
            return std::unexpected(std::move(error));
        }
        ResumeThread(thread.get());
        return std::unique_ptr<HelperProcess>(
            std::make_unique<WinHelper>(std::move(process), info.dwProcessId));
    }

  private:
    // Closing the last handle ends every helper in it: when the client ends,
    // and when our process ends in any way.
    win::UniqueHandle job_;
};

}  // namespace

Result<std::unique_ptr<Launcher>> make_launcher() {
    win::UniqueHandle job(CreateJobObjectW(nullptr, nullptr));
    if (!job) return std::unexpected(failure("cannot make a job object"));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits,
                                 sizeof limits)) {
        return std::unexpected(failure("cannot set up the job object"));
    }
    return std::unique_ptr<Launcher>(std::make_unique<WinLauncher>(std::move(job)));
}

}  // namespace vth::client
