#include "os/win/traffic_drop/drop_target_impl.hpp"

#include <new>

#include "os/win/traffic_drop/com_data_source.hpp"

namespace vth::win {
namespace {

void set_effect(DWORD* effect, DWORD value) noexcept {
    if (effect != nullptr) *effect = value;
}

}  // namespace

ComRef<IDropTarget> DropTarget_Impl::create(std::shared_ptr<drop::DroppedTexts> dropped_texts,
                                            std::shared_ptr<std::atomic<bool>> drop_hovering) {
    return ComRef<IDropTarget>(
        new DropTarget_Impl(std::move(dropped_texts), std::move(drop_hovering)));
}

DropTarget_Impl::DropTarget_Impl(std::shared_ptr<drop::DroppedTexts> dropped_texts,
                                 std::shared_ptr<std::atomic<bool>> drop_hovering) noexcept
    : dropped_texts_(std::move(dropped_texts)), drop_hovering_(std::move(drop_hovering)) {}

HRESULT DropTarget_Impl::QueryInterface(REFIID iid, void** object) noexcept {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDropTarget)) {
        *object = static_cast<IDropTarget*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG DropTarget_Impl::AddRef() noexcept {
    return references_.fetch_add(1) + 1;
}

ULONG DropTarget_Impl::Release() noexcept {
    ULONG left = references_.fetch_sub(1) - 1;
    if (left == 0) delete this;
    return left;
}

HRESULT DropTarget_Impl::DragEnter(IDataObject*, DWORD, POINTL, DWORD* effect) noexcept {
    drop_hovering_->exchange(true);
    set_effect(effect, DROPEFFECT_COPY);
    return S_OK;
}

HRESULT DropTarget_Impl::DragOver(DWORD, POINTL, DWORD* effect) noexcept {
    drop_hovering_->exchange(true);
    set_effect(effect, DROPEFFECT_COPY);
    return S_OK;
}

HRESULT DropTarget_Impl::DragLeave() noexcept {
    drop_hovering_->exchange(false);
    return S_OK;
}

HRESULT DropTarget_Impl::Drop(IDataObject* data, DWORD, POINTL, DWORD* effect) noexcept {
    // Cleared before the data is read, so a failing read cannot leave it up.
    drop_hovering_->exchange(false);
    if (data == nullptr) {
        set_effect(effect, DROPEFFECT_NONE);
        return S_OK;
    }
    set_effect(effect, read_and_deliver(data) ? DROPEFFECT_COPY : DROPEFFECT_NONE);
    return S_OK;
}

bool DropTarget_Impl::read_and_deliver(IDataObject* data) noexcept {
    try {
        return drop::deliver_drop(find_drop_candidate(data), *dropped_texts_);
    } catch (...) {
        // Out of memory on a huge block (or a throwing diagnostics sink): the
        // drop is refused rather than letting an exception reach COM.
        return false;
    }
}

}  // namespace vth::win
