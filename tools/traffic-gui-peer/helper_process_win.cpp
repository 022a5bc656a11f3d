#include <windows.h>

#include <algorithm>

#include "common/os.hpp"
#include "helper_process.hpp"
#include "os/win/common/handles.hpp"
#include "os/win/common/system_message.hpp"
#include "os/win/common/wide.hpp"

namespace vth::peer {
namespace {

class WinHelper final : public HelperProcess {
  public:
    explicit WinHelper(win::UniqueHandle process) : process_(std::move(process)) {}
    std::uint32_t pid() const override { return GetProcessId(process_.get()); }
    ~WinHelper() override {
        if (!code_) kill();
    }

    std::optional<int> wait(std::chrono::milliseconds timeout) override {
        if (code_) return code_;
        const auto ms = static_cast<DWORD>(std::min<std::chrono::milliseconds::rep>(
            std::max<std::chrono::milliseconds::rep>(timeout.count(), 0), INFINITE - 1));
        if (WaitForSingleObject(process_.get(), ms) != WAIT_OBJECT_0) return std::nullopt;
        DWORD code = 0;
        GetExitCodeProcess(process_.get(), &code);
        code_ = static_cast<int>(code);
        return code_;
    }

    int kill() override {
        if (code_) return *code_;
        TerminateProcess(process_.get(), 1);
        return wait(std::chrono::seconds(5)).value_or(-1);
    }

  private:
    win::UniqueHandle process_;
    std::optional<int> code_;
};

}  // namespace

Result<std::unique_ptr<HelperProcess>> start_helper(const std::string& program,
                                                    const std::string& data_dir) {
    // The helper inherits our environment; the peer itself no longer needs
    // the old value.
    if (!SetEnvironmentVariableW(L"LOCALAPPDATA", win::to_wide(data_dir).c_str())) {
        return std::unexpected(win::last_error());
    }
    const std::wstring application = win::to_wide(program);
    std::wstring command_line = L"\"" + application + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(application.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0,
                        nullptr, nullptr, &startup, &info)) {
        Error error = win::last_error();
        return fail("cannot start " + program + ": " + error.text, error.os_code);
    }
    win::UniqueHandle thread(info.hThread);
    return std::make_unique<WinHelper>(win::UniqueHandle(info.hProcess));
}

}  // namespace vth::peer
