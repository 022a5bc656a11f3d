#pragma once
// The dropped IDataObject seen through the portable format walk: this layer
// only calls the system and hands back bytes. Used on the drop target's
// thread inside Drop; holds no state beyond one drop.
#include <ole2.h>
#include <windows.h>

#include "os/win/common/com_ref.hpp"
#include "traffic_drop/drop_formats.hpp"

namespace vth::win {

class ComDataSource final : public drop::DropDataSource {
  public:
    // data is borrowed and must outlive this object.
    explicit ComDataSource(IDataObject* data) noexcept : data_(data) {}

    std::uint16_t format_id(std::string_view name) override;
    std::optional<std::string> read_medium(std::uint16_t format, std::int32_t lindex,
                                           drop::Medium medium) override;
    bool start_listing() override;
    std::optional<drop::ListedFormat> next_listed() override;

  private:
    IDataObject* data_;
    ComRef<IEnumFORMATETC> listing_;
};

// The format readers of the drop handler, over a COM data object.
std::optional<std::string> try_format(IDataObject* data, std::uint16_t format, bool wide,
                                      std::int32_t lindex);
std::optional<std::string> find_drop_candidate(IDataObject* data);

}  // namespace vth::win
