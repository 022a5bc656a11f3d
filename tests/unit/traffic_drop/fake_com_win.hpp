#pragma once
// Fake COM objects for driving the drop target and format readers directly.
// They are owned by the test (never deleted by Release), start with the one
// reference the test holds, and count what they hand out, so a test can
// prove every reference and every storage medium given back.
#include <ole2.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vth::test {

#define VTH_FAKE_REFCOUNT                                 \
    ULONG STDMETHODCALLTYPE AddRef() noexcept override {  \
        return ++references;                              \
    }                                                     \
    ULONG STDMETHODCALLTYPE Release() noexcept override { \
        return --references;                              \
    }

inline std::string utf16(std::string_view ascii) {
    std::string out;
    for (char c : ascii) {
        out += c;
        out += '\0';
    }
    return out;
}

// Stands for whatever a data object keeps alive for a medium it hands out.
struct FakeToken final : IUnknown {
    ULONG references = 1;
    VTH_FAKE_REFCOUNT
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) noexcept override {
        if (object != nullptr) *object = nullptr;
        return E_NOINTERFACE;
    }
};

struct FakeStream final : IStream {
    ULONG references = 1;
    std::string bytes;
    std::size_t position = 0;
    std::optional<std::uint64_t> reported_size;
    HRESULT stat_result = S_OK;
    HRESULT read_result = S_OK;
    ULONG most_per_read = 0xFFFFFFFF;
    ULONG overreport = 0;  // added to the count each Read reports
    std::vector<ULONG> reads;
    std::vector<DWORD> stat_flags;
    int seeks = 0;

    explicit FakeStream(std::string content = {}) : bytes(std::move(content)) {}

    VTH_FAKE_REFCOUNT
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) noexcept override {
        if (object == nullptr) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_ISequentialStream) ||
            IsEqualIID(iid, IID_IStream)) {
            *object = static_cast<IStream*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG size, ULONG* got) noexcept override {
        reads.push_back(size);
        if (FAILED(read_result)) return read_result;
        std::size_t n = std::min<std::size_t>({size, bytes.size() - position, most_per_read});
        std::memcpy(buffer, bytes.data() + position, n);
        position += n;
        if (got != nullptr) *got = static_cast<ULONG>(n) + overreport;
        return n < size ? S_FALSE : S_OK;
    }
    HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) noexcept override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER*) noexcept override {
        ++seeks;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*,
                                     ULARGE_INTEGER*) noexcept override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Revert() noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) noexcept override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER,
                                           DWORD) noexcept override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD flags) noexcept override {
        stat_flags.push_back(flags);
        if (FAILED(stat_result)) return stat_result;
        *stat = STATSTG{};
        stat->type = STGTY_STREAM;
        stat->cbSize.QuadPart = reported_size.value_or(bytes.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IStream**) noexcept override { return E_NOTIMPL; }
};

struct FakeEnum final : IEnumFORMATETC {
    ULONG references = 1;
    std::vector<FORMATETC> entries;  // ptd of each is handed out as a fresh copy
    std::size_t next = 0;
    int calls = 0;

    VTH_FAKE_REFCOUNT
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) noexcept override {
        if (object == nullptr) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IEnumFORMATETC)) {
            *object = static_cast<IEnumFORMATETC*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE Next(ULONG count, FORMATETC* out, ULONG* fetched) noexcept override {
        ++calls;
        if (count != 1) return E_INVALIDARG;
        if (next >= entries.size()) {
            if (fetched != nullptr) *fetched = 0;
            return S_FALSE;
        }
        out[0] = entries[next++];
        // The caller owns (and frees) a delivered target device.
        out[0].ptd = static_cast<DVTARGETDEVICE*>(CoTaskMemAlloc(sizeof(DVTARGETDEVICE)));
        std::memset(out[0].ptd, 0, sizeof(DVTARGETDEVICE));
        out[0].ptd->tdSize = sizeof(DVTARGETDEVICE);
        if (fetched != nullptr) *fetched = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reset() noexcept override {
        next = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IEnumFORMATETC**) noexcept override { return E_NOTIMPL; }
};

// One format the fake data object offers.
struct Offer {
    CLIPFORMAT format = CF_TEXT;
    DWORD tymed = TYMED_HGLOBAL;   // the medium it answers requests for
    std::string bytes;             // the memory block
    FakeStream* stream = nullptr;  // TYMED_ISTREAM; null hands out a missing stream
    LONG lindex = -1;
    bool null_block = false;
    DWORD delivers = 0;  // a medium other than the one asked for (0: as asked)
};

inline Offer block(CLIPFORMAT format, std::string bytes, LONG lindex = -1) {
    Offer offer;
    offer.format = format;
    offer.bytes = std::move(bytes);
    offer.lindex = lindex;
    return offer;
}

inline Offer streamed(CLIPFORMAT format, FakeStream* stream, LONG lindex = -1) {
    Offer offer;
    offer.format = format;
    offer.tymed = TYMED_ISTREAM;
    offer.stream = stream;
    offer.lindex = lindex;
    return offer;
}

inline Offer only_medium(CLIPFORMAT format, DWORD tymed) {
    Offer offer;
    offer.format = format;
    offer.tymed = tymed;
    return offer;
}

inline Offer null_block(CLIPFORMAT format) {
    Offer offer = block(format, {});
    offer.null_block = true;
    return offer;
}

// A data object that hands out another medium than the one asked for.
inline Offer delivering(Offer offer, DWORD tymed) {
    offer.delivers = tymed;
    return offer;
}

struct FakeDataObject final : IDataObject {
    ULONG references = 1;
    std::vector<Offer> offers;
    FakeToken token;  // every medium handed out holds one reference to it
    FakeEnum listing;
    HRESULT enum_result = S_OK;
    int enum_calls = 0;
    int media_given = 0;
    std::vector<FORMATETC> requests;
    std::function<void()> on_get_data;
    std::vector<HGLOBAL> blocks;

    FakeDataObject() = default;
    FakeDataObject(const FakeDataObject&) = delete;
    FakeDataObject& operator=(const FakeDataObject&) = delete;
    ~FakeDataObject() {
        for (HGLOBAL block : blocks) GlobalFree(block);
    }

    VTH_FAKE_REFCOUNT
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) noexcept override {
        if (object == nullptr) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDataObject)) {
            *object = static_cast<IDataObject*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* request, STGMEDIUM* medium) noexcept override {
        if (on_get_data) on_get_data();
        requests.push_back(*request);
        for (const Offer& offer : offers) {
            if (offer.format != request->cfFormat || offer.lindex != request->lindex ||
                (offer.tymed & request->tymed) == 0) {
                continue;
            }
            *medium = STGMEDIUM{};
            medium->tymed = offer.delivers != 0 ? offer.delivers : offer.tymed;
            if (medium->tymed == TYMED_HGLOBAL && !offer.null_block) {
                HGLOBAL block = GlobalAlloc(GMEM_FIXED, offer.bytes.size());
                std::memcpy(block, offer.bytes.data(), offer.bytes.size());
                blocks.push_back(block);
                medium->hGlobal = block;
            } else if (medium->tymed == TYMED_ISTREAM && offer.stream != nullptr) {
                offer.stream->AddRef();
                medium->pstm = offer.stream;
            } else if (medium->tymed == TYMED_FILE) {
                medium->lpszFileName = static_cast<LPOLESTR>(CoTaskMemAlloc(sizeof(L"x.url")));
                std::memcpy(medium->lpszFileName, L"x.url", sizeof(L"x.url"));
            }
            token.AddRef();
            medium->pUnkForRelease = &token;
            ++media_given;
            return S_OK;
        }
        return DV_E_FORMATETC;
    }
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) noexcept override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC*) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) noexcept override {
        if (out != nullptr) out->ptd = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) noexcept override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD direction,
                                            IEnumFORMATETC** out) noexcept override {
        ++enum_calls;
        *out = nullptr;
        if (direction != DATADIR_GET) return E_NOTIMPL;
        if (FAILED(enum_result)) return enum_result;
        listing.AddRef();
        *out = &listing;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) noexcept override {
        return OLE_E_ADVISENOTSUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) noexcept override {
        return OLE_E_ADVISENOTSUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) noexcept override {
        return OLE_E_ADVISENOTSUPPORTED;
    }

    // True when every reference and medium handed out came back.
    bool balanced() const {
        return references == 1 && token.references == 1 && listing.references == 1;
    }
};

#undef VTH_FAKE_REFCOUNT

inline CLIPFORMAT named_format(const wchar_t* name) {
    return static_cast<CLIPFORMAT>(RegisterClipboardFormatW(name));
}

}  // namespace vth::test
