#include "helper_process.hpp"

namespace vth::peer {

Result<std::unique_ptr<HelperProcess>> start_helper(const std::string& program,
                                                    const std::string& data_dir) {
    return start_as_library_does(program, data_dir);
}

}  // namespace vth::peer
