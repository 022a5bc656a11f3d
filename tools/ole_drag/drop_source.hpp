#pragma once
// The IDropSource of the drag: drops when the left button is released,
// cancels on Escape, default cursors.
#include <ole2.h>
#include <windows.h>

#include <atomic>

#include "os/win/common/com_ref.hpp"

namespace vth::drag {

class LeftButtonDropSource final : public IDropSource {
  public:
    static win::ComRef<IDropSource> create();

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) noexcept override;
    ULONG STDMETHODCALLTYPE AddRef() noexcept override;
    ULONG STDMETHODCALLTYPE Release() noexcept override;
    HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL escape, DWORD key_state) noexcept override;
    HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD effect) noexcept override;

  private:
    LeftButtonDropSource() = default;
    ~LeftButtonDropSource() = default;
    std::atomic<ULONG> references_{1};
};

}  // namespace vth::drag
