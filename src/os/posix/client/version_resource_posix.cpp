#include "client/version_resource.hpp"

namespace vth::client {

Result<HelperVersion> read_helper_version(const std::string&) {
    return fail("a version resource exists only in the Windows helper", unsupported_code);
}

}  // namespace vth::client
