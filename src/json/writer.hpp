#pragma once
// Compact JSON output. RapidJSON's writer escapes control characters with
// upper-case hex digits; the GUI protocol wants lower case, so strings and
// keys are written here. Everything else is left to the base writer.
#include <string_view>

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

namespace vth::json {

class CompactWriter : public rapidjson::Writer<rapidjson::StringBuffer> {
  public:
    using Writer::Writer;

    bool String(std::string_view text) {
        Prefix(rapidjson::kStringType);
        return EndValue(write_string(text));
    }
    bool Key(std::string_view text) { return String(text); }

  private:
    bool write_string(std::string_view text) {
        static constexpr char digits[] = "0123456789abcdef";
        os_->Put('"');
        for (char c : text) {
            const auto byte = static_cast<unsigned char>(c);
            switch (c) {
                case '"':
                    os_->Put('\\');
                    os_->Put('"');
                    continue;
                case '\\':
                    os_->Put('\\');
                    os_->Put('\\');
                    continue;
                case '\b':
                    os_->Put('\\');
                    os_->Put('b');
                    continue;
                case '\t':
                    os_->Put('\\');
                    os_->Put('t');
                    continue;
                case '\n':
                    os_->Put('\\');
                    os_->Put('n');
                    continue;
                case '\f':
                    os_->Put('\\');
                    os_->Put('f');
                    continue;
                case '\r':
                    os_->Put('\\');
                    os_->Put('r');
                    continue;
                default:
                    break;
            }
            if (byte < 0x20) {
                for (char e : {'\\', 'u', '0', '0'}) os_->Put(e);
                os_->Put(digits[byte >> 4]);
                os_->Put(digits[byte & 15]);
            } else {
                os_->Put(c);
            }
        }
        os_->Put('"');
        return true;
    }
};

}  // namespace vth::json
