#pragma once
// std::fopen for a UTF-8 path: on Windows the narrow fopen reads paths in
// the ANSI code page, so a file under C:\Users\Jürgen could not be opened.
#include <cstdio>
#include <string>

namespace vth::tool {

// The opened file (the caller closes it), or null with errno set.
std::FILE* open_utf8(const std::string& path, const char* mode);

}  // namespace vth::tool
