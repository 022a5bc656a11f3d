#pragma once

namespace vth {

// Short git commit of the build ("-dirty" when the tree was modified), or "unknown".
const char* build_id() noexcept;

}  // namespace vth
