#include "traffic_drop/drop_delivery.hpp"

#include "traffic_drop/drop_events.hpp"
#include "traffic_drop/pending_inbox.hpp"
#include "traffic_drop/url_candidate.hpp"

namespace vth::drop {

bool deliver_drop(const std::optional<std::string>& candidate, DroppedTexts& dropped_texts) {
    if (!candidate) {
        emit_drop_parse_failed();
        return false;
    }
    emit_drop_received(*candidate);
    // A shortcut value without a dot or "://" is reported but has no line.
    if (std::optional<std::string> line = extract_url_candidate(*candidate)) {
        pending_tunnel_domain_append(*line);
    }
    dropped_texts.push_back(*candidate);
    return true;
}

}  // namespace vth::drop
