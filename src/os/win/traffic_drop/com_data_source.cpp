#include "os/win/traffic_drop/com_data_source.hpp"

#include <algorithm>

#include "os/win/common/wide.hpp"
#include "traffic_drop/text_decoding.hpp"

namespace vth::win {
namespace {

using HeldMedium = Owned<STGMEDIUM*, ReleaseStgMedium>;
using LockedBlock = Owned<HGLOBAL, GlobalUnlock>;
using TargetDevice = Owned<void*, CoTaskMemFree>;

std::optional<std::string> read_block(HGLOBAL block) {
    const void* bytes = GlobalLock(block);
    if (bytes == nullptr) return std::nullopt;
    LockedBlock lock(block);
    return std::string(static_cast<const char*>(bytes), GlobalSize(block));
}

std::optional<std::string> read_stream(IStream* stream) {
    if (stream == nullptr) return std::nullopt;
    STATSTG stat{};
    if (FAILED(stream->Stat(&stat, STATFLAG_NONAME))) return std::nullopt;
    const std::size_t size = drop::stream_read_size(stat.cbSize.QuadPart);
    if (size == 0) return std::string();
    // One read from the current position: the data object placed it there.
    std::string bytes(size, '\0');
    ULONG got = 0;
    if (FAILED(stream->Read(bytes.data(), static_cast<ULONG>(size), &got))) return std::nullopt;
    bytes.resize(std::min<std::size_t>(got, size));
    return bytes;
}

}  // namespace

std::uint16_t ComDataSource::format_id(std::string_view name) {
    return static_cast<std::uint16_t>(RegisterClipboardFormatW(to_wide(name).c_str()));
}

std::optional<std::string> ComDataSource::read_medium(std::uint16_t format, std::int32_t lindex,
                                                      drop::Medium medium) {
    FORMATETC request{
        format, nullptr, DVASPECT_CONTENT, lindex,
        static_cast<DWORD>(medium == drop::Medium::hglobal ? TYMED_HGLOBAL : TYMED_ISTREAM)};
    STGMEDIUM storage{};
    if (FAILED(data_->GetData(&request, &storage))) return std::nullopt;
    HeldMedium held(&storage);
    // The medium delivered counts, not the one asked for.
    switch (storage.tymed) {
        case TYMED_HGLOBAL:
            return read_block(storage.hGlobal);
        case TYMED_ISTREAM:
            return read_stream(storage.pstm);
        default:
            return std::nullopt;
    }
}

bool ComDataSource::start_listing() {
    IEnumFORMATETC* listing = nullptr;
    if (FAILED(data_->EnumFormatEtc(DATADIR_GET, &listing)) || listing == nullptr) return false;
    listing_.reset(listing);
    return true;
}

std::optional<drop::ListedFormat> ComDataSource::next_listed() {
    if (!listing_) return std::nullopt;
    FORMATETC entry{};
    ULONG fetched = 0;
    HRESULT hr = listing_.get()->Next(1, &entry, &fetched);
    // The caller owns a delivered entry's target device.
    TargetDevice device(fetched == 1 ? entry.ptd : nullptr);
    if (FAILED(hr) || fetched != 1) return std::nullopt;
    return drop::ListedFormat{entry.cfFormat, static_cast<std::int32_t>(entry.lindex)};
}

std::optional<std::string> try_format(IDataObject* data, std::uint16_t format, bool wide,
                                      std::int32_t lindex) {
    ComDataSource source(data);
    return drop::try_format(source, format, wide, lindex);
}

std::optional<std::string> find_drop_candidate(IDataObject* data) {
    ComDataSource source(data);
    return drop::find_drop_candidate(source);
}

}  // namespace vth::win
