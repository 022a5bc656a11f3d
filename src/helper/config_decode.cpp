// Placeholder until the strict decoder lands.
#include "helper/config.hpp"

namespace vth {

Result<HelperConfig> decode_config(std::string_view) { return fail("expected value"); }

}  // namespace vth
