#include <windows.h>

#include <bcrypt.h>

#include "random_bytes.hpp"

namespace vth::peer {

Result<void> fill_random(std::span<std::uint8_t> bytes) {
    const NTSTATUS status = BCryptGenRandom(nullptr, bytes.data(), static_cast<ULONG>(bytes.size()),
                                            BCRYPT_USE_SYSTEM_PREFERRED_RNG);
    if (status < 0) {
        return fail("BCryptGenRandom failed: " +
                    hresult_error_text({}, static_cast<std::uint32_t>(status)));
    }
    return {};
}

}  // namespace vth::peer
