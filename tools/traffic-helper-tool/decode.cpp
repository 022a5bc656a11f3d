// decode-config FILE...: "OK <record>" or "ERR <text>" for each file (the
// helper reads one; several in one run keep slow emulated runs few).
// decode-commands [--stats] [FILE]: the lines of FILE or stdin split and
// decoded exactly as the helper's command reader does, one answer per line;
// with --stats only "ok=N err=M" at the end. With --files each following
// argument is a file holding one line without its line end, for documents
// that span several lines. In a batch, stdin holds the requests, so FILE is
// needed there.
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "common/os.hpp"
#include "helper/byte_stream.hpp"
#include "helper/command_reader.hpp"
#include "protocol/config.hpp"
#include "protocol/config_decode.hpp"
#include "records/decoded_record.hpp"
#include "subcommands.hpp"
#include "utf8_file.hpp"

namespace vth::tool {
namespace {

void put_line(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
}

class FileSource : public ByteSource {
  public:
    explicit FileSource(std::FILE* file) : file_(file) {}
    Result<std::size_t> read(std::span<char> buffer) override {
        const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), file_);
        if (n == 0 && std::ferror(file_)) return fail("read error");
        return n;
    }

  private:
    std::FILE* file_;
};

int usage(const char* text) {
    std::fprintf(stderr, "usage: traffic-helper-tool %s\n", text);
    return 2;
}

}  // namespace

int decode_config(Args args) {
    if (args.empty()) return usage("decode-config FILE");
    binary_mode(stdout);
    for (std::string_view path : args) {
        auto bytes = os::read_file(std::string(path));
        if (!bytes) {
            std::fprintf(stderr, "decode-config: %s: %s\n", std::string(path).c_str(),
                         bytes.error().text.c_str());
            return 2;
        }
        auto config = vth::decode_config(*bytes);
        put_line(config ? "OK " + config_record(*config) : "ERR " + config.error().text);
    }
    return 0;
}

namespace {

int decode_command_files(Args paths) {
    binary_mode(stdout);
    for (std::string_view path : paths) {
        auto bytes = os::read_file(std::string(path));
        if (!bytes) {
            std::fprintf(stderr, "decode-commands: %s: %s\n", std::string(path).c_str(),
                         bytes.error().text.c_str());
            return 2;
        }
        auto command = decode_command_line(*bytes);
        put_line(command ? "OK " + command_record(*command) : "ERR " + command.error().text);
    }
    return 0;
}

}  // namespace

int decode_commands(Args args) {
    if (!args.empty() && args.front() == "--files") return decode_command_files(args.subspan(1));
    bool stats = false;
    std::optional<std::string> path;
    for (std::string_view arg : args) {
        if (arg == "--stats") {
            stats = true;
        } else if (!path && !arg.starts_with("--")) {
            path = std::string(arg);
        } else {
            return usage("decode-commands [--stats] [FILE]");
        }
    }
    std::FILE* file = stdin;
    if (path) {
        file = open_utf8(*path, "rb");
        if (!file) {
            std::fprintf(stderr, "decode-commands: cannot open %s\n", path->c_str());
            return 2;
        }
    } else if (stdin_holds_requests()) {
        std::fputs("decode-commands: in a batch, give a FILE\n", stderr);
        return 2;
    } else {
        binary_mode(stdin);
    }
    binary_mode(stdout);
    // The command reader thread's own loop, so --stats times what it runs.
    FileSource source(file);
    long ok = 0;
    long err = 0;
    int status = 0;
    const auto done = read_commands(
        source,
        [&](const OverlayCommand& command) {
            ++ok;
            if (!stats) put_line("OK " + command_record(command));
            return true;
        },
        [&](std::string_view rejection) {
            ++err;
            rejection.remove_prefix(rejected_command_prefix.size());
            if (!stats) put_line("ERR " + std::string(rejection));
        });
    if (!done) {
        std::fprintf(stderr, "decode-commands: %s\n", done.error().text.c_str());
        status = 2;
    }
    if (stats) put_line("ok=" + std::to_string(ok) + " err=" + std::to_string(err));
    if (file != stdin) std::fclose(file);
    return status;
}

}  // namespace vth::tool
