#pragma once
// Reading the project's fixtures in tests/fixtures.
#include <rapidjson/document.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace vth::test {

inline std::string fixture_path(const std::string& name) {
    return std::string(VTH_FIXTURES_DIR) + "/" + name;
}

inline std::string read_fixture(const std::string& name) {
    std::ifstream in(fixture_path(name), std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// Rows of a tab-separated fixture, without blank and '#' comment lines.
inline std::vector<std::vector<std::string>> read_tsv(const std::string& name) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(read_fixture(name));
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> cells;
        std::size_t start = 0;
        for (std::size_t tab; (tab = line.find('\t', start)) != std::string::npos;
             start = tab + 1) {
            cells.push_back(line.substr(start, tab - start));
        }
        cells.push_back(line.substr(start));
        rows.push_back(std::move(cells));
    }
    return rows;
}

// The input cell of the decoder table: a JSON string literal, or hex: and
// the raw bytes.
inline std::string input_bytes(const std::string& cell) {
    if (cell.starts_with("hex:")) {
        std::string bytes;
        for (std::size_t i = 4; i + 1 < cell.size(); i += 2) {
            bytes += static_cast<char>(std::stoi(cell.substr(i, 2), nullptr, 16));
        }
        return bytes;
    }
    rapidjson::Document literal;
    literal.Parse(cell.data(), cell.size());
    return literal.IsString() ? std::string(literal.GetString(), literal.GetStringLength())
                              : "<bad cell>";
}

}  // namespace vth::test
