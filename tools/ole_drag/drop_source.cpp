#include "drop_source.hpp"

namespace vth::drag {

win::ComRef<IDropSource> LeftButtonDropSource::create() {
    return win::ComRef<IDropSource>(new LeftButtonDropSource());
}

HRESULT LeftButtonDropSource::QueryInterface(REFIID iid, void** object) noexcept {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDropSource)) {
        *object = static_cast<IDropSource*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG LeftButtonDropSource::AddRef() noexcept {
    return references_.fetch_add(1) + 1;
}

ULONG LeftButtonDropSource::Release() noexcept {
    ULONG left = references_.fetch_sub(1) - 1;
    if (left == 0) delete this;
    return left;
}

HRESULT LeftButtonDropSource::QueryContinueDrag(BOOL escape, DWORD key_state) noexcept {
    if (escape) return DRAGDROP_S_CANCEL;
    if ((key_state & MK_LBUTTON) == 0) return DRAGDROP_S_DROP;
    return S_OK;
}

HRESULT LeftButtonDropSource::GiveFeedback(DWORD) noexcept {
    return DRAGDROP_S_USEDEFAULTCURSORS;
}

}  // namespace vth::drag
