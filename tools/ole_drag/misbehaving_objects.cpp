#include "misbehaving_objects.hpp"

#include <algorithm>
#include <cstring>
#include <new>

namespace vth::drag {
namespace {

template <typename Interface>
HRESULT query(Interface* self, REFIID iid, void** object, std::initializer_list<const IID*> iids) {
    if (object == nullptr) return E_POINTER;
    for (const IID* granted : iids) {
        if (IsEqualIID(iid, *granted)) {
            *object = self;
            self->AddRef();
            return S_OK;
        }
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

}  // namespace

win::ComRef<IStream> MisreportingStream::create(std::string bytes,
                                                std::optional<std::uint64_t> claimed_size,
                                                std::uint32_t overreport) {
    return win::ComRef<IStream>(new MisreportingStream(std::move(bytes), claimed_size, overreport));
}

MisreportingStream::MisreportingStream(std::string bytes, std::optional<std::uint64_t> claimed_size,
                                       std::uint32_t overreport) noexcept
    : bytes_(std::move(bytes)), claimed_size_(claimed_size), overreport_(overreport) {}

HRESULT MisreportingStream::QueryInterface(REFIID iid, void** object) noexcept {
    return query(static_cast<IStream*>(this), iid, object,
                 {&IID_IUnknown, &IID_ISequentialStream, &IID_IStream});
}

ULONG MisreportingStream::AddRef() noexcept {
    return references_.fetch_add(1) + 1;
}

ULONG MisreportingStream::Release() noexcept {
    ULONG left = references_.fetch_sub(1) - 1;
    if (left == 0) delete this;
    return left;
}

HRESULT MisreportingStream::Read(void* buffer, ULONG size, ULONG* got) noexcept {
    const std::size_t n = std::min<std::size_t>(size, bytes_.size() - position_);
    std::memcpy(buffer, bytes_.data() + position_, n);
    position_ += n;
    if (got != nullptr) *got = static_cast<ULONG>(n) + overreport_;
    return S_OK;
}

HRESULT MisreportingStream::Write(const void*, ULONG, ULONG*) noexcept {
    return STG_E_ACCESSDENIED;
}

HRESULT MisreportingStream::Seek(LARGE_INTEGER move, DWORD origin,
                                 ULARGE_INTEGER* position) noexcept {
    const LONGLONG base = origin == STREAM_SEEK_SET   ? 0
                          : origin == STREAM_SEEK_CUR ? static_cast<LONGLONG>(position_)
                                                      : static_cast<LONGLONG>(bytes_.size());
    const LONGLONG target = base + move.QuadPart;
    if (origin > STREAM_SEEK_END || target < 0) return STG_E_INVALIDFUNCTION;
    position_ = std::min(static_cast<std::size_t>(target), bytes_.size());
    if (position != nullptr) position->QuadPart = position_;
    return S_OK;
}

HRESULT MisreportingStream::SetSize(ULARGE_INTEGER) noexcept {
    return STG_E_ACCESSDENIED;
}

HRESULT MisreportingStream::CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*,
                                   ULARGE_INTEGER*) noexcept {
    return E_NOTIMPL;
}

HRESULT MisreportingStream::Commit(DWORD) noexcept {
    return S_OK;
}

HRESULT MisreportingStream::Revert() noexcept {
    return S_OK;
}

HRESULT MisreportingStream::LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) noexcept {
    return STG_E_INVALIDFUNCTION;
}

HRESULT MisreportingStream::UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) noexcept {
    return STG_E_INVALIDFUNCTION;
}

HRESULT MisreportingStream::Stat(STATSTG* stat, DWORD) noexcept {
    if (stat == nullptr) return STG_E_INVALIDPOINTER;
    *stat = STATSTG{};
    stat->type = STGTY_STREAM;
    stat->cbSize.QuadPart = claimed_size_.value_or(bytes_.size());
    stat->grfMode = STGM_READ;
    return S_OK;
}

HRESULT MisreportingStream::Clone(IStream**) noexcept {
    return E_NOTIMPL;
}

win::ComRef<IEnumFORMATETC> EndlessFormatList::create(std::vector<FORMATETC> entries) {
    return win::ComRef<IEnumFORMATETC>(new EndlessFormatList(std::move(entries)));
}

EndlessFormatList::EndlessFormatList(std::vector<FORMATETC> entries) noexcept
    : entries_(std::move(entries)) {}

HRESULT EndlessFormatList::QueryInterface(REFIID iid, void** object) noexcept {
    return query(static_cast<IEnumFORMATETC*>(this), iid, object,
                 {&IID_IUnknown, &IID_IEnumFORMATETC});
}

ULONG EndlessFormatList::AddRef() noexcept {
    return references_.fetch_add(1) + 1;
}

ULONG EndlessFormatList::Release() noexcept {
    ULONG left = references_.fetch_sub(1) - 1;
    if (left == 0) delete this;
    return left;
}

HRESULT EndlessFormatList::Next(ULONG count, FORMATETC* out, ULONG* fetched) noexcept {
    if (out == nullptr) return E_POINTER;
    if (entries_.empty()) {
        if (fetched != nullptr) *fetched = 0;
        return S_FALSE;
    }
    for (ULONG i = 0; i < count; ++i) {
        out[i] = entries_[next_];
        next_ = (next_ + 1) % entries_.size();
    }
    if (fetched != nullptr) *fetched = count;
    return S_OK;
}

HRESULT EndlessFormatList::Skip(ULONG) noexcept {
    return S_OK;
}

HRESULT EndlessFormatList::Reset() noexcept {
    next_ = 0;
    return S_OK;
}

HRESULT EndlessFormatList::Clone(IEnumFORMATETC** out) noexcept {
    if (out == nullptr) return E_POINTER;
    auto* copy = new (std::nothrow) EndlessFormatList(entries_);
    *out = copy;
    return copy != nullptr ? S_OK : E_OUTOFMEMORY;
}

}  // namespace vth::drag
