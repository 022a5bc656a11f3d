#pragma once
// How a text received from outside (a GUI's command, a configuration file, a
// dropped text) is written into a log line: printable characters as they
// are, every other one as a visible escape, so that no received text can end
// a line, forge one, or turn a viewer's line breaks or writing direction.
#include <cstddef>
#include <limits>
#include <string>
#include <string_view>

namespace vth {

enum class Quotes {
    escaped,  // '"' and '\' get a backslash: the text stands between double quotes
    kept,     // copied as they are: the text stands between backquotes
};

// How much of a text is written. Either bound ends the text early.
struct ReceivedLimit {
    // Characters taken from the text.
    std::size_t characters = std::numeric_limits<std::size_t>::max();
    // Characters written for them, an escape counting all of its own, so a
    // text of controls is cut as soon as a printable one would be.
    std::size_t written = std::numeric_limits<std::size_t>::max();
};

// Appends the start of utf8_text within limit: printable characters as they
// are, \n \r \t \0 for those controls and \u{hex} for every other character
// that would not show (controls, line and paragraph separators, format
// characters such as the direction marks and overrides). A malformed byte is
// one U+FFFD, so nothing past the text is read. Returns the bytes taken.
std::size_t append_received(std::string& out, std::string_view utf8_text, Quotes quotes,
                            ReceivedLimit limit = {});

}  // namespace vth
