#include "os/win/traffic_drop/ole_text_drop_target.hpp"

#include "os/win/common/system_message.hpp"
#include "os/win/traffic_drop/drop_target_impl.hpp"
#include "traffic_drop/drop_events.hpp"

namespace vth::win {
Result<OleTextDropTarget> OleTextDropTarget::register_on(
    HWND window, std::shared_ptr<std::atomic<bool>> drop_hovering) {
    HRESULT hr = OleInitialize(nullptr);
    if (FAILED(hr)) return std::unexpected(hresult_error(hr));
    OleApartment apartment(true);
    if (!drop_hovering) drop_hovering = std::make_shared<std::atomic<bool>>(false);
    auto dropped_texts = std::make_shared<drop::DroppedTexts>();
    ComRef<IDropTarget> object = DropTarget_Impl::create(dropped_texts, drop_hovering);
    hr = RegisterDragDrop(window, object.get());
    if (FAILED(hr)) {
        Error error = hresult_error(hr);
        drop::emit_register_failed(error);
        apartment.reset();
        return std::unexpected(std::move(error));
    }
    drop::emit_registered();
    return OleTextDropTarget(std::move(object), std::move(dropped_texts), std::move(drop_hovering),
                             std::move(apartment), DropRegistration(window));
}

OleTextDropTarget::OleTextDropTarget(ComRef<IDropTarget> object,
                                     std::shared_ptr<drop::DroppedTexts> dropped_texts,
                                     std::shared_ptr<std::atomic<bool>> drop_hovering,
                                     OleApartment apartment, DropRegistration registration) noexcept
    : drop_hovering_(std::move(drop_hovering)),
      dropped_texts_(std::move(dropped_texts)),
      object_(std::move(object)),
      apartment_(std::move(apartment)),
      registration_(std::move(registration)) {}

std::optional<std::string> OleTextDropTarget::take_text() {
    if (!dropped_texts_ || dropped_texts_->empty()) return std::nullopt;
    std::string text = std::move(dropped_texts_->front());
    dropped_texts_->pop_front();
    return text;
}

}  // namespace vth::win
