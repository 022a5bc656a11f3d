#pragma once
// The drop target's registration on one window. Owned by the thread that
// created the window; register_on, take_text and destruction must all run on
// that thread, which register_on makes an OLE single-threaded apartment.
#include <ole2.h>
#include <windows.h>

#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "common/error.hpp"
#include "os/win/common/com_ref.hpp"
#include "os/win/common/owned.hpp"
#include "traffic_drop/drop_delivery.hpp"

namespace vth::win {

inline void uninitialize_ole(bool) noexcept {
    OleUninitialize();
}
inline void revoke_drop_target(HWND window) noexcept {
    RevokeDragDrop(window);
}

using OleApartment = Owned<bool, uninitialize_ole, false>;
using DropRegistration = Owned<HWND, revoke_drop_target>;

class OleTextDropTarget {
  public:
    // Initialises OLE on the calling thread and registers a drop target on
    // window that keeps drop_hovering up to date. On failure OLE is left as
    // it was and the error carries the HRESULT.
    static Result<OleTextDropTarget> register_on(HWND window,
                                                 std::shared_ptr<std::atomic<bool>> drop_hovering);

    // The oldest text accepted by a drop and not yet taken.
    std::optional<std::string> take_text();

    // The registered COM object, borrowed; lets tests drive it directly.
    IDropTarget* drop_target() const noexcept { return object_.get(); }

    OleTextDropTarget(OleTextDropTarget&&) noexcept = default;
    OleTextDropTarget& operator=(OleTextDropTarget&&) = delete;
    // Revokes the registration, uninitialises OLE, then lets go of the object,
    // the queue (texts still queued are lost) and the flag.
    ~OleTextDropTarget() = default;

  private:
    OleTextDropTarget(ComRef<IDropTarget> object, std::shared_ptr<drop::DroppedTexts> dropped_texts,
                      std::shared_ptr<std::atomic<bool>> drop_hovering, OleApartment apartment,
                      DropRegistration registration) noexcept;

    // Members are destroyed bottom-up: that order is the release order.
    std::shared_ptr<std::atomic<bool>> drop_hovering_;
    std::shared_ptr<drop::DroppedTexts> dropped_texts_;
    ComRef<IDropTarget> object_;
    OleApartment apartment_;
    DropRegistration registration_;
};

}  // namespace vth::win
