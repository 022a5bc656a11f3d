// url-candidate [FILE]: one JSON string literal per line in, one answer per
// line out: "OK" and the candidate as a JSON string literal, or "NONE".
// A line that is not a string literal is answered "ERR" and exits with 1.
// In a batch, stdin holds the requests, so FILE is needed there.
#include <rapidjson/document.h>
#include <rapidjson/error/en.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>

#include "subcommands.hpp"
#include "traffic_drop/url_candidate.hpp"

namespace vth::tool {
namespace {

std::optional<std::string> parse_literal(const std::string& line, std::string& error) {
    rapidjson::Document document;
    // Iterative: a line of nested brackets cannot exhaust the stack.
    document.Parse<rapidjson::kParseValidateEncodingFlag | rapidjson::kParseIterativeFlag>(
        line.data(), line.size());
    if (document.HasParseError()) {
        error = rapidjson::GetParseError_En(document.GetParseError());
        return std::nullopt;
    }
    if (!document.IsString()) {
        error = "not a JSON string literal";
        return std::nullopt;
    }
    return std::string(document.GetString(), document.GetStringLength());
}

std::string to_literal(const std::string& text) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    writer.String(text.data(), static_cast<rapidjson::SizeType>(text.size()));
    return std::string(buffer.GetString(), buffer.GetSize());
}

int answer_lines(std::istream& in) {
    int status = 0;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::string error;
        std::optional<std::string> text = parse_literal(line, error);
        std::string answer;
        if (!text) {
            answer = "ERR " + error;
            status = 1;
        } else if (std::optional<std::string> candidate = drop::extract_url_candidate(*text)) {
            answer = "OK " + to_literal(*candidate);
        } else {
            answer = "NONE";
        }
        answer += '\n';
        std::fwrite(answer.data(), 1, answer.size(), stdout);
    }
    std::fflush(stdout);
    return status;
}

}  // namespace

int url_candidate(Args args) {
    if (args.size() > 1) {
        std::fputs("usage: traffic-helper-tool url-candidate [FILE]\n", stderr);
        return 2;
    }
    if (args.empty()) {
        if (!stdin_holds_requests()) return answer_lines(std::cin);
        std::fputs("url-candidate: in a batch, give a FILE\n", stderr);
        return 2;
    }
    std::ifstream file{std::filesystem::path(std::u8string(args[0].begin(), args[0].end())),
                       std::ios::binary};
    if (!file) {
        std::fprintf(stderr, "url-candidate: cannot read %.*s\n", static_cast<int>(args[0].size()),
                     args[0].data());
        return 2;
    }
    return answer_lines(file);
}

}  // namespace vth::tool
