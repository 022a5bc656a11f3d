#include <algorithm>
#include <array>
#include <cstddef>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "json/convert.hpp"
#include "json/reader.hpp"
#include "protocol/command_decode.hpp"
#include "protocol/overlay_command.hpp"

namespace vth {
namespace {

using json::Kind;
using json::Value;

// A command is read whole before its variant's fields are judged, so field
// errors carry no position, while faults of the text itself, the recursion
// limit and everything about `type` do. Field names of the variants do not
// overlap, so each field is decoded as it arrives whatever `type` turns out
// to be, and the first error of each variant is kept for the end.

enum Variant : std::size_t { set_visible, set_position, update_content, shutdown, variant_count };
constexpr std::array<std::string_view, variant_count> variant_names = {"setVisible", "setPosition",
                                                                       "updateContent", "shutdown"};
constexpr std::array<std::string_view, variant_count> variant_types = {
    "struct variant OverlayCommand::SetVisible", "struct variant OverlayCommand::SetPosition",
    "struct variant OverlayCommand::UpdateContent", "unit variant OverlayCommand::Shutdown"};

enum Field : int { visible, x, y, title, subtitle, feedback, samples, drop_hover, field_count };
constexpr std::array<std::string_view, field_count> field_names = {
    "visible", "x", "y", "title", "subtitle", "feedback", "samples", "dropHover"};
constexpr std::array<Variant, field_count> field_owner = {
    set_visible,    set_position,   set_position,   update_content,
    update_content, update_content, update_content, update_content};
constexpr std::array<std::string_view, field_count> field_wants = {
    "a boolean",         "i32",        "i32",      "a string", "a string",
    "a tuple of size 2", "a sequence", "a boolean"};

constexpr std::array<Field, 1> visible_fields = {visible};
constexpr std::array<Field, 2> position_fields = {x, y};
constexpr std::array<Field, 5> content_fields = {title, subtitle, feedback, samples, drop_hover};
std::span<const Field> fields_of(Variant v) {
    switch (v) {
        case set_visible:
            return visible_fields;
        case set_position:
            return position_fields;
        case update_content:
            return content_fields;
        default:
            return {};
    }
}

constexpr std::array<std::string_view, 3> sample_keys = {"t", "up", "down"};
constexpr unsigned all_sample_keys = 0b111;
constexpr std::string_view sample_type = "struct WireSample";
constexpr std::string_view command_type = "internally tagged enum OverlayCommand";
constexpr int recursion_limit = 128;

// What the next value in the current container is for.
enum class Slot { ignore, tag, field, feedback_text, feedback_flag, sample, sample_number };

enum class Frame { root_map, root_seq, feedback, samples, sample_seq, sample_map };

struct FrameState {
    Frame kind;
    std::size_t count = 0;  // values completed
    unsigned seen = 0;      // keys met, for maps
    Slot pending = Slot::ignore;
    int pending_index = 0;  // field or sample number
};

class CommandDecoder {
  public:
    explicit CommandDecoder(json::Cursor& cursor) : cursor_(cursor) {}

    // Events inside a sample, nearly all events of a long line, are handled
    // inline; the rest out of line, which keeps the reader's loop small.
    [[gnu::always_inline]] bool value(const Value& v) {
        if (FrameState* frame = sample_frame()) {
            sample_number(*frame, v);
            ++frame->count;
            return true;
        }
        return other_value(v);
    }

    [[gnu::always_inline]] bool start(Kind kind) {
        if (depth_ + 1 < recursion_limit && skip_depth_ == 0 && frame_count_ > 0 &&
            top().kind == Frame::samples && !failed(update_content)) {
            ++depth_;
            sample_parts_ = {};
            push(kind == Kind::sequence ? Frame::sample_seq : Frame::sample_map);
            return true;
        }
        return other_start(kind);
    }

    [[gnu::always_inline]] bool end(Kind kind, std::size_t count) {
        if (FrameState* frame = sample_frame()) {
            --depth_;
            pop();
            if (frame->kind == Frame::sample_seq) {
                close_sample_seq(frame->count);
            } else {
                close_sample_map(frame->seen);
            }
            ++top().count;
            return true;
        }
        return other_end(kind, count);
    }

    [[gnu::always_inline]] bool key(std::string_view name) {
        if (FrameState* frame = sample_frame(); frame && frame->kind == Frame::sample_map) {
            sample_key(*frame, name);
            return true;
        }
        return other_key(name);
    }

    OverlayCommand take() { return std::move(command_); }

  private:
    // The frame of the sample being read, when events count there.
    FrameState* sample_frame() const { return sample_; }
    static bool is_sample(Frame kind) {
        return kind == Frame::sample_seq || kind == Frame::sample_map;
    }

    [[gnu::noinline]] bool other_value(const Value& v) {
        if (skip_depth_ > 0) return true;
        if (frame_count_ == 0)
            return cursor_.fail_at(json::invalid_type(v, command_type), cursor_.offset());
        auto [slot, index] = next_slot();
        if (!scalar(slot, index, v)) return false;
        ++top().count;
        return true;
    }

    [[gnu::noinline]] bool other_start(Kind kind) {
        if (++depth_ >= recursion_limit)
            return cursor_.fail_at("recursion limit exceeded", cursor_.offset());
        if (skip_depth_ > 0) {
            ++skip_depth_;
            return true;
        }
        if (frame_count_ == 0) {
            push(kind == Kind::map ? Frame::root_map : Frame::root_seq);
            return true;
        }
        auto [slot, index] = next_slot();
        return opened(slot, index, kind);
    }

    [[gnu::noinline]] bool other_end(Kind, std::size_t) {
        --depth_;
        if (skip_depth_ > 0) {
            if (--skip_depth_ == 0) {
                ++top().count;
                if (is_sample(top().kind)) sample_ = &top();
            }
            return true;
        }
        const FrameState closed = top();
        pop();
        switch (closed.kind) {
            case Frame::root_map:
            case Frame::root_seq:
                return finish(closed);
            case Frame::feedback:
                close_feedback(closed.count);
                break;
            case Frame::sample_seq:
                close_sample_seq(closed.count);
                break;
            case Frame::sample_map:
                close_sample_map(closed.seen);
                break;
            case Frame::samples:
                fit_samples();
                break;
        }
        ++top().count;
        return true;
    }

    [[gnu::noinline]] bool other_key(std::string_view name) {
        if (skip_depth_ > 0) return true;
        FrameState& frame = top();
        frame.pending = Slot::ignore;
        if (name == "type") {
            if (tag_seen_) {
                // Reported where the decoder stands: after the key and any blanks.
                return cursor_.fail_at(json::duplicate_field("type"),
                                       json::skip_whitespace(cursor_.input(), cursor_.offset()));
            }
            tag_seen_ = true;
            frame.pending = Slot::tag;
            return true;
        }
        for (int f = 0; f < field_count; ++f) {
            if (name != field_names[static_cast<std::size_t>(f)]) continue;
            if (fields_seen_ & (1u << f)) {
                record(field_owner[static_cast<std::size_t>(f)],
                       json::duplicate_field(field_names[static_cast<std::size_t>(f)]));
            } else {
                fields_seen_ |= 1u << f;
                frame.pending = Slot::field;
                frame.pending_index = f;
            }
        }
        return true;
    }

    // Which of t, up, down the key names, compared without a library call.
    static int sample_key_index(std::string_view name) {
        switch (name.size()) {
            case 1:
                return name[0] == 't' ? 0 : -1;
            case 2:
                return name[0] == 'u' && name[1] == 'p' ? 1 : -1;
            case 4:
                return name[0] == 'd' && name[1] == 'o' && name[2] == 'w' && name[3] == 'n' ? 2
                                                                                            : -1;
            default:
                return -1;
        }
    }

    [[gnu::always_inline]] void sample_key(FrameState& frame, std::string_view name) {
        frame.pending = Slot::ignore;
        const int i = sample_key_index(name);
        if (i < 0) return;
        if (frame.seen & (1u << i)) {
            record(update_content, json::duplicate_field(sample_keys[static_cast<std::size_t>(i)]));
        } else {
            frame.seen |= 1u << i;
            frame.pending = Slot::sample_number;
            frame.pending_index = i;
        }
    }

    // A value inside a sample: kept when it is one of its three numbers.
    [[gnu::always_inline]] void sample_number(FrameState& frame, const Value& v) {
        if (failed(update_content)) return;
        int index = -1;
        if (frame.kind == Frame::sample_seq) {
            if (frame.count < 3) index = static_cast<int>(frame.count);
        } else if (frame.pending == Slot::sample_number) {
            index = frame.pending_index;
        }
        frame.pending = Slot::ignore;
        if (index < 0) return;
        // The usual cases without a Converted.
        if (v.kind == Kind::floating) {
            sample_part(index) = v.floating;
        } else if (v.kind == Kind::unsigned_integer) {
            sample_part(index) = static_cast<double>(v.unsigned_integer);
        } else {
            keep(json::to_f64(v), sample_part(index));
        }
    }

    FrameState& top() { return frames_[frame_count_ - 1]; }
    void push(Frame kind) {
        frames_[frame_count_++] = FrameState{.kind = kind};
        sample_ = is_sample(kind) ? &top() : nullptr;
    }
    // A sample frame is always the innermost one.
    void pop() {
        --frame_count_;
        sample_ = nullptr;
    }

    std::pair<Slot, int> next_slot() {
        FrameState& frame = top();
        switch (frame.kind) {
            case Frame::root_map: {
                auto slot = std::pair{frame.pending, frame.pending_index};
                frame.pending = Slot::ignore;
                if (slot.first == Slot::field &&
                    failed(field_owner[static_cast<std::size_t>(slot.second)])) {
                    return {Slot::ignore, 0};
                }
                return slot;
            }
            case Frame::root_seq: {
                if (frame.count == 0) return {Slot::tag, 0};
                auto fields = fields_of(variant_);
                if (frame.count > fields.size() || failed(variant_)) return {Slot::ignore, 0};
                return {Slot::field, fields[frame.count - 1]};
            }
            default:
                break;
        }
        if (failed(update_content)) return {Slot::ignore, 0};
        switch (frame.kind) {
            case Frame::feedback:
                if (frame.count == 0) return {Slot::feedback_text, 0};
                if (frame.count == 1) return {Slot::feedback_flag, 0};
                return {Slot::ignore, 0};
            case Frame::samples:
                return {Slot::sample, 0};
            case Frame::sample_seq:
                if (frame.count < 3) return {Slot::sample_number, static_cast<int>(frame.count)};
                return {Slot::ignore, 0};
            default: {
                auto slot = std::pair{frame.pending, frame.pending_index};
                frame.pending = Slot::ignore;
                return slot;
            }
        }
    }

    bool scalar(Slot slot, int index, const Value& v) {
        switch (slot) {
            case Slot::ignore:
                return true;
            case Slot::tag:
                return tag(v);
            case Slot::field:
                store_field(static_cast<Field>(index), v);
                return true;
            case Slot::feedback_text:
                keep(json::to_text(v), feedback_text_);
                return true;
            case Slot::feedback_flag:
                keep(json::to_bool(v), feedback_flag_);
                return true;
            case Slot::sample:
                record(update_content, json::invalid_type(v, sample_type));
                return true;
            case Slot::sample_number:
                keep(json::to_f64(v), sample_part(index));
                return true;
        }
        return true;
    }

    bool opened(Slot slot, int index, Kind kind) {
        const auto found = json::container(kind);
        switch (slot) {
            case Slot::ignore:
                break;
            case Slot::tag:
                return cursor_.fail_at(json::invalid_type(found, "variant identifier"),
                                       cursor_.offset() - 1);
            case Slot::field:
                if (kind == Kind::sequence && index == feedback) {
                    feedback_text_.clear();
                    push(Frame::feedback);
                    return true;
                }
                if (kind == Kind::sequence && index == samples) {
                    push(Frame::samples);
                    samples_start_ = cursor_.offset();
                    return true;
                }
                record(field_owner[static_cast<std::size_t>(index)],
                       json::invalid_type(found, field_wants[static_cast<std::size_t>(index)]));
                break;
            case Slot::feedback_text:
                record(update_content, json::invalid_type(found, "a string"));
                break;
            case Slot::feedback_flag:
                record(update_content, json::invalid_type(found, "a boolean"));
                break;
            case Slot::sample:
                sample_parts_ = {};
                push(kind == Kind::sequence ? Frame::sample_seq : Frame::sample_map);
                return true;
            case Slot::sample_number:
                record(update_content, json::invalid_type(found, "f64"));
                break;
        }
        skip_depth_ = 1;
        sample_ = nullptr;
        return true;
    }

    bool tag(const Value& v) {
        if (v.kind != Kind::string) {
            return cursor_.fail_at(json::invalid_type(v, "variant identifier"), cursor_.offset());
        }
        for (std::size_t i = 0; i < variant_count; ++i) {
            if (v.text == variant_names[i]) {
                variant_ = static_cast<Variant>(i);
                return true;
            }
        }
        return cursor_.fail_at(json::unknown_variant(v.text, variant_names), cursor_.offset());
    }

    void store_field(Field f, const Value& v) {
        auto& content = content_;
        switch (f) {
            case visible:
                keep(json::to_bool(v), visible_.visible);
                break;
            case x:
                keep(json::to_integer<std::int32_t>(v, "i32"), position_.x);
                break;
            case y:
                keep(json::to_integer<std::int32_t>(v, "i32"), position_.y);
                break;
            case title:
                keep(json::to_text(v), content.title);
                break;
            case subtitle:
                keep(json::to_text(v), content.subtitle);
                break;
            case drop_hover:
                keep(json::to_bool(v), content.drop_hover);
                break;
            case feedback:
                if (v.kind == Kind::null) {
                    content.feedback.reset();
                } else {
                    record(update_content, json::invalid_type(v, field_wants[feedback]));
                }
                break;
            default:
                record(update_content,
                       json::invalid_type(v, field_wants[static_cast<std::size_t>(f)]));
                break;
        }
    }

    template <typename T, typename Target>
    void keep(const json::Converted<T>& converted, Target& target) {
        if (!converted) {
            record(current_variant(), converted.error());
        } else {
            target = Target(*converted);
        }
    }

    Variant current_variant() {
        const FrameState& frame = top();
        if (frame.kind == Frame::root_map)
            return field_owner[static_cast<std::size_t>(frame.pending_index)];
        if (frame.kind == Frame::root_seq) return variant_;
        return update_content;
    }

    double& sample_part(int index) { return sample_parts_[static_cast<std::size_t>(index)]; }

    void close_feedback(std::size_t count) {
        if (failed(update_content)) return;
        if (count < 2) {
            record(update_content, json::invalid_length(count, field_wants[feedback]));
        } else if (count > 2) {
            record(update_content, json::invalid_length(count, json::elements_in_sequence(2)));
        } else {
            content_.feedback.emplace(std::move(feedback_text_), feedback_flag_);
        }
    }

    void close_sample_seq(std::size_t count) {
        if (failed(update_content)) return;
        if (count < 3) {
            record(update_content,
                   json::invalid_length(count, json::with_elements(sample_type, 3)));
        } else if (count > 3) {
            record(update_content, json::invalid_length(count, json::elements_in_sequence(3)));
        } else {
            add_sample();
        }
    }

    void close_sample_map(unsigned seen) {
        if (failed(update_content)) return;
        if (seen == all_sample_keys) {
            add_sample();
            return;
        }
        for (std::size_t i = 0; i < sample_keys.size(); ++i) {
            if (!(seen & (1u << i))) {
                record(update_content, json::missing_field(sample_keys[i]));
                return;
            }
        }
        add_sample();
    }

    // Storage for all samples of the line is reserved at the first, so a long
    // line is not copied over and over while its samples arrive; a
    // reservation that cannot be had is left out.
    void add_sample() {
        auto& samples = content_.samples;
        if (samples.empty()) {
            const std::size_t first = cursor_.offset() - samples_start_ + 1;  // and a comma
            try {
                samples.reserve(
                    sample_reservation(first, cursor_.input().size() - cursor_.offset()));
            } catch (const std::bad_alloc&) {
            }
        }
        samples.push_back(WireSample{sample_parts_[0], sample_parts_[1], sample_parts_[2]});
    }

    // A first sample much shorter than the rest leaves too much room.
    void fit_samples() {
        auto& samples = content_.samples;
        if (samples.capacity() / 2 > samples.size()) samples.shrink_to_fit();
    }

    bool finish(const FrameState& root) {
        if (!tag_seen_ && !(root.kind == Frame::root_seq && root.count > 0)) {
            return cursor_.fail_at(json::missing_field("type"), cursor_.offset());
        }
        if (errors_[variant_]) return cursor_.fail(*errors_[variant_]);
        const auto fields = fields_of(variant_);
        if (root.kind == Frame::root_seq) {
            const std::size_t given = root.count - 1;
            if (given < fields.size()) {
                return cursor_.fail(json::invalid_length(
                    given, json::with_elements(variant_types[variant_], fields.size())));
            }
            if (given > fields.size()) {
                return cursor_.fail(
                    json::invalid_length(given, json::elements_in_sequence(fields.size())));
            }
        } else {
            for (Field f : fields) {
                if (f != feedback && !(fields_seen_ & (1u << f))) {
                    return cursor_.fail(
                        json::missing_field(field_names[static_cast<std::size_t>(f)]));
                }
            }
        }
        switch (variant_) {
            case set_visible:
                command_ = visible_;
                break;
            case set_position:
                command_ = position_;
                break;
            case update_content:
                command_ = std::move(content_);
                break;
            default:
                command_ = command::Shutdown{};
                break;
        }
        return true;
    }

    bool failed(Variant v) const { return errors_[v].has_value(); }
    void record(Variant v, const json::ErrorParts& error) {
        if (!errors_[v]) errors_[v] = error;
    }

    json::Cursor& cursor_;
    std::array<FrameState, 4> frames_{};
    std::size_t frame_count_ = 0;
    int depth_ = 0;
    std::size_t skip_depth_ = 0;
    FrameState* sample_ = nullptr;  // the top frame while it is a sample's and nothing is skipped
    bool tag_seen_ = false;
    Variant variant_ = shutdown;
    unsigned fields_seen_ = 0;
    // The first error of each variant, as parts: only the one of the variant
    // that `type` names is ever shown.
    std::array<std::optional<json::ErrorParts>, variant_count> errors_;
    command::SetVisible visible_;
    command::SetPosition position_;
    command::UpdateContent content_;
    std::string feedback_text_;
    bool feedback_flag_ = false;
    std::array<double, 3> sample_parts_{};  // t, up, down of the sample being read
    std::size_t samples_start_ = 0;         // offset after the samples' opening bracket
    OverlayCommand command_;
};

}  // namespace

std::size_t sample_reservation(std::size_t first_bytes, std::size_t left_bytes) {
    // ",[0,0,0]": no sample takes fewer bytes.
    constexpr std::size_t densest_sample_bytes = 8;
    // A quarter more covers later samples that are shorter (the sequence
    // form, fewer digits).
    const std::size_t estimate = (first_bytes - 1 + left_bytes) / first_bytes + 1;
    const std::size_t most = 1 + left_bytes / densest_sample_bytes;
    return std::min({estimate + estimate / 4, most, sample_reservation_cap});
}

Result<OverlayCommand> decode_command(std::string_view line) {
    return json::decode<CommandDecoder>(line);
}

Result<OverlayCommand> decode_command(json::NulTerminated line) {
    return json::decode<CommandDecoder>(line);
}

}  // namespace vth
