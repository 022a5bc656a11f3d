#pragma once
// Removing a folder the self-test made earlier, such as the data folder in a
// report folder. Any thread.
#include <string>

#include "common/error.hpp"

namespace vth::peer {

// Removes dir and everything in it. A link inside (a junction or symbolic
// link, dir itself included) is removed as a link: what it points to is
// never entered, so a planted junction cannot make this delete the user's
// files. A missing dir is no error.
Result<void> remove_tree(const std::string& dir);

}  // namespace vth::peer
