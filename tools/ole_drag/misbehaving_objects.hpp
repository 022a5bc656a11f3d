#pragma once
// The parts of a drag source that break their contracts, for testing that
// the drop target holds: a stream that misreports its size or its reads,
// and a format list that never ends.
#include <ole2.h>
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "os/win/common/com_ref.hpp"

namespace vth::drag {

// A read-only stream over bytes whose Stat reports claimed_size (when set)
// instead of the true size, and whose Read reports overreport bytes more
// than it was asked for (it never writes more than asked).
class MisreportingStream final : public IStream {
  public:
    static win::ComRef<IStream> create(std::string bytes, std::optional<std::uint64_t> claimed_size,
                                       std::uint32_t overreport);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) noexcept override;
    ULONG STDMETHODCALLTYPE AddRef() noexcept override;
    ULONG STDMETHODCALLTYPE Release() noexcept override;

    HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG size, ULONG* got) noexcept override;
    HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) noexcept override;
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin,
                                   ULARGE_INTEGER* position) noexcept override;
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) noexcept override;
    HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*,
                                     ULARGE_INTEGER*) noexcept override;
    HRESULT STDMETHODCALLTYPE Commit(DWORD) noexcept override;
    HRESULT STDMETHODCALLTYPE Revert() noexcept override;
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) noexcept override;
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) noexcept override;
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD) noexcept override;
    HRESULT STDMETHODCALLTYPE Clone(IStream**) noexcept override;

  private:
    MisreportingStream(std::string bytes, std::optional<std::uint64_t> claimed_size,
                       std::uint32_t overreport) noexcept;
    ~MisreportingStream() = default;

    std::atomic<ULONG> references_{1};
    std::string bytes_;
    std::size_t position_ = 0;
    std::optional<std::uint64_t> claimed_size_;
    std::uint32_t overreport_;
};

// A format list whose Next always succeeds: it hands out the formats of
// entries over and over, without end.
class EndlessFormatList final : public IEnumFORMATETC {
  public:
    // entries must not be empty.
    static win::ComRef<IEnumFORMATETC> create(std::vector<FORMATETC> entries);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) noexcept override;
    ULONG STDMETHODCALLTYPE AddRef() noexcept override;
    ULONG STDMETHODCALLTYPE Release() noexcept override;

    HRESULT STDMETHODCALLTYPE Next(ULONG count, FORMATETC* out, ULONG* fetched) noexcept override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG) noexcept override;
    HRESULT STDMETHODCALLTYPE Reset() noexcept override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumFORMATETC** out) noexcept override;

  private:
    explicit EndlessFormatList(std::vector<FORMATETC> entries) noexcept;
    ~EndlessFormatList() = default;

    std::atomic<ULONG> references_{1};
    std::vector<FORMATETC> entries_;
    std::size_t next_ = 0;
};

}  // namespace vth::drag
