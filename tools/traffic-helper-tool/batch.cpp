// batch: many requests in one run, for callers that pay for every start (a
// Windows build under Wine takes seconds to start). Each line of stdin is one
// request, a JSON array of strings: a subcommand and its arguments. Each
// answer is what the subcommand prints, followed by "=== exit N" (N its exit
// code) on stdout and on stderr alike, so both streams split per request.
// Every line gets exactly one marker, even one that is not a request.
#include <rapidjson/document.h>

#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "subcommands.hpp"

namespace vth::tool {
namespace {

bool in_batch = false;

std::optional<std::vector<std::string>> parse_request(std::string_view line) {
    rapidjson::Document document;
    // Iterative: a line of nested brackets cannot exhaust the stack.
    document.Parse<rapidjson::kParseValidateEncodingFlag | rapidjson::kParseIterativeFlag>(
        line.data(), line.size());
    if (document.HasParseError() || !document.IsArray() || document.Empty()) return std::nullopt;
    std::vector<std::string> words;
    for (const auto& value : document.GetArray()) {
        if (!value.IsString()) return std::nullopt;
        words.emplace_back(value.GetString(), value.GetStringLength());
    }
    return words;
}

void end_answer(int code) {
    std::printf("=== exit %d\n", code);
    std::fflush(stdout);
    std::fprintf(stderr, "=== exit %d\n", code);
    std::fflush(stderr);
}

}  // namespace

void binary_mode([[maybe_unused]] std::FILE* file) {
#ifdef _WIN32
    _setmode(_fileno(file), _O_BINARY);
#endif
}

bool stdin_holds_requests() {
    return in_batch;
}

int batch(Args args) {
    if (!args.empty() || in_batch) {
        std::fputs("usage: traffic-helper-tool batch (requests on stdin, not in a batch)\n",
                   stderr);
        return 2;
    }
    binary_mode(stdin);
    binary_mode(stdout);
    in_batch = true;
    std::string line;
    while (std::getline(std::cin, line)) {
        if (line.ends_with('\r')) line.pop_back();
        int code = 2;
        if (const auto words = parse_request(line)) {
            const std::vector<std::string_view> request(words->begin(), words->end());
            code = run_subcommand(request);
        } else {
            std::fputs("batch: a request is a JSON array of strings, the subcommand first\n",
                       stderr);
        }
        end_answer(code);
    }
    in_batch = false;
    return 0;
}

}  // namespace vth::tool
