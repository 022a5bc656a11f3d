#pragma once
// The COM drop target registered on the overlay window. The platform calls it
// on the thread that registered it (a single-threaded apartment), so the
// queue it fills is touched by that thread only; the hover flag is atomic
// because other threads read it.
#include <ole2.h>
#include <windows.h>

#include <atomic>
#include <memory>

#include "os/win/common/com_ref.hpp"
#include "traffic_drop/drop_delivery.hpp"

namespace vth::win {

class DropTarget_Impl final : public IDropTarget {
  public:
    // The one initial reference belongs to the caller.
    static ComRef<IDropTarget> create(std::shared_ptr<drop::DroppedTexts> dropped_texts,
                                      std::shared_ptr<std::atomic<bool>> drop_hovering);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) noexcept override;
    ULONG STDMETHODCALLTYPE AddRef() noexcept override;
    ULONG STDMETHODCALLTYPE Release() noexcept override;

    // Every drag is offered a copy, whatever it carries.
    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD key_state, POINTL point,
                                        DWORD* effect) noexcept override;
    HRESULT STDMETHODCALLTYPE DragOver(DWORD key_state, POINTL point,
                                       DWORD* effect) noexcept override;
    HRESULT STDMETHODCALLTYPE DragLeave() noexcept override;
    // Never fails towards the platform: a refused drop is DROPEFFECT_NONE.
    HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD key_state, POINTL point,
                                   DWORD* effect) noexcept override;

  private:
    DropTarget_Impl(std::shared_ptr<drop::DroppedTexts> dropped_texts,
                    std::shared_ptr<std::atomic<bool>> drop_hovering) noexcept;
    ~DropTarget_Impl() = default;

    bool read_and_deliver(IDataObject* data) noexcept;

    std::atomic<ULONG> references_{1};
    std::shared_ptr<drop::DroppedTexts> dropped_texts_;
    std::shared_ptr<std::atomic<bool>> drop_hovering_;
};

}  // namespace vth::win
