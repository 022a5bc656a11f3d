#pragma once
// Points LOCALAPPDATA at a fresh temporary folder (or unsets it) for one
// test, restoring the previous value afterwards.
#ifdef _WIN32
#include <windows.h>
#else
#include <stdlib.h>
#endif

#include <atomic>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "common/os.hpp"

namespace vth::test {

inline void set_env(const char* name, const std::optional<std::string>& value) {
#ifdef _WIN32
    SetEnvironmentVariableA(name, value ? value->c_str() : nullptr);
#else
    if (value) {
        setenv(name, value->c_str(), 1);
    } else {
        unsetenv(name);
    }
#endif
}

class LocalAppData {
  public:
    // LOCALAPPDATA becomes root()/below, a folder that does not exist yet
    // when below is not empty.
    explicit LocalAppData(bool set = true, const std::string& below = {})
        : previous_(os::env("LOCALAPPDATA")) {
        static std::atomic<int> counter{0};
        root_ = std::filesystem::temp_directory_path() /
                ("vth-drop-" + std::to_string(os::process_id()) + "-" +
                 std::to_string(counter.fetch_add(1)));
        std::filesystem::remove_all(root_);
        std::filesystem::create_directories(root_);
        value_ = below.empty() ? root_ : root_ / below;
        set_env("LOCALAPPDATA", set ? std::optional(value_.string()) : std::nullopt);
    }
    ~LocalAppData() {
        set_env("LOCALAPPDATA", previous_);
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    LocalAppData(const LocalAppData&) = delete;
    LocalAppData& operator=(const LocalAppData&) = delete;

    const std::filesystem::path& root() const { return root_; }
    const std::filesystem::path& value() const { return value_; }
    std::filesystem::path file(const std::string& name) const {
        return value_ / "Vestrilon" / name;
    }

    std::string read(const std::string& name) const {
        std::ifstream in(file(name), std::ios::binary);
        std::ostringstream out;
        out << in.rdbuf();
        return out.str();
    }

  private:
    std::optional<std::string> previous_;
    std::filesystem::path root_;
    std::filesystem::path value_;
};

}  // namespace vth::test
