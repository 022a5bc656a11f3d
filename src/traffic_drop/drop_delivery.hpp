#pragma once
// What happens to a drop once its data object has been read. Runs on the
// thread that owns the drop target, inside its drop handler.
#include <deque>
#include <optional>
#include <string>

namespace vth::drop {

// Texts accepted by drops, oldest first. Owned jointly by the drop target
// and its COM object; used on the drop target's thread only.
using DroppedTexts = std::deque<std::string>;

// Raises the drop's event, appends the candidate's own candidate to the
// tunnel-domain inbox (when it has one) and queues the candidate itself.
// True when the drop was accepted; false (nothing queued) without a candidate.
bool deliver_drop(const std::optional<std::string>& candidate, DroppedTexts& dropped_texts);

}  // namespace vth::drop
