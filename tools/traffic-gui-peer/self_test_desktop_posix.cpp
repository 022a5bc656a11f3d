#include "self_test_desktop.hpp"

namespace vth::peer {

Result<std::unique_ptr<Desktop>> open_desktop() {
    return fail(
        "the self-test is not available on this platform; run traffic-gui-peer.exe on Windows");
}

}  // namespace vth::peer
