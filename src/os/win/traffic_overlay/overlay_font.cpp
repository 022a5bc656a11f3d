#include "os/win/traffic_overlay/overlay_font.hpp"

#include <cwchar>
#include <string>

#include "os/win/common/wide.hpp"
#include "traffic_overlay/font_face.hpp"

namespace vth::win {
namespace {

int CALLBACK note_found(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) noexcept {
    *reinterpret_cast<bool*>(found) = true;
    return 0;  // one is enough
}

bool face_installed(HDC screen, const std::wstring& face) noexcept {
    LOGFONTW wanted{};
    wanted.lfCharSet = DEFAULT_CHARSET;
    if (face.size() >= LF_FACESIZE) return false;
    std::wmemcpy(wanted.lfFaceName, face.c_str(), face.size() + 1);
    bool found = false;
    EnumFontFamiliesExW(screen, &wanted, note_found, reinterpret_cast<LPARAM>(&found), 0);
    return found;
}

}  // namespace

GdiFont create_overlay_font() noexcept {
    try {
        // Without a DC nothing can be told, so nothing is kept: the next
        // picture asks again.
        ScreenDc screen(GetDC(nullptr));
        if (!screen) return {};
        auto face = overlay_face_once(
            [&](std::string_view name) { return face_installed(screen.get(), to_wide(name)); });
        if (!face) return {};
        return GdiFont(CreateFontW(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                   OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY,
                                   VARIABLE_PITCH, to_wide(*face).c_str()));
    } catch (...) {
        return {};  // out of memory for a face name: no font of our own
    }
}

}  // namespace vth::win
