#pragma once
// Reading the shared fixtures in place (never copied into the project).
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

}  // namespace vth::test
