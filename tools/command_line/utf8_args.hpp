#pragma once
// The program's arguments as UTF-8, whatever the system's code page: on
// Windows main's argv is in the ANSI code page, which loses every letter it
// lacks, so a path such as C:\Users\Jürgen\отчёт would not survive it.
// Call from main only.
#include <string>
#include <vector>

namespace vth::tool {

// The arguments after the program's name.
std::vector<std::string> utf8_args(int argc, char** argv);

}  // namespace vth::tool
