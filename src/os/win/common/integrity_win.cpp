#include <windows.h>

#include <vector>

#include "common/integrity.hpp"
#include "os/win/common/handles.hpp"

namespace vth {

std::string current_integrity_level() {
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return "unknown";
    win::UniqueHandle token(raw);
    // The first call only learns the size; its failure is expected.
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenIntegrityLevel, nullptr, 0, &size);
    if (size < 16) return "unknown";
    std::vector<unsigned char> buffer(size, 0);
    if (!GetTokenInformation(token.get(), TokenIntegrityLevel, buffer.data(), size, &size)) {
        return "unknown";
    }
    auto* label = reinterpret_cast<TOKEN_MANDATORY_LABEL*>(buffer.data());
    PSID sid = label->Label.Sid;
    const DWORD count = *GetSidSubAuthorityCount(sid);
    // A label without sub-authorities has no level to read; index 0 would
    // read past the SID.
    if (count == 0) return "unknown";
    const DWORD rid = *GetSidSubAuthority(sid, count - 1);
    return std::string(integrity_name(rid));
}

}  // namespace vth
