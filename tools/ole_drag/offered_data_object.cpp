#include "offered_data_object.hpp"

#include <shlobj.h>

#include <cstring>

#include "misbehaving_objects.hpp"

namespace vth::drag {
namespace {

DWORD tymed_of(Medium medium) {
    return medium == Medium::hglobal ? TYMED_HGLOBAL : TYMED_ISTREAM;
}

HGLOBAL copy_to_block(const std::string& bytes) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.empty() ? 1 : bytes.size());
    if (block == nullptr) return nullptr;
    void* memory = GlobalLock(block);
    if (memory == nullptr) {
        GlobalFree(block);
        return nullptr;
    }
    if (bytes.empty()) {
        std::memset(memory, 0, 1);
    } else {
        std::memcpy(memory, bytes.data(), bytes.size());
    }
    GlobalUnlock(block);
    return block;
}

}  // namespace

win::ComRef<IDataObject> OfferedDataObject::create(std::vector<OfferedFormat> offers,
                                                   Misbehaviour misbehaviour) {
    return win::ComRef<IDataObject>(new OfferedDataObject(std::move(offers), misbehaviour));
}

OfferedDataObject::OfferedDataObject(std::vector<OfferedFormat> offers,
                                     Misbehaviour misbehaviour) noexcept
    : offers_(std::move(offers)), misbehaviour_(misbehaviour) {}

HRESULT OfferedDataObject::QueryInterface(REFIID iid, void** object) noexcept {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDataObject)) {
        *object = static_cast<IDataObject*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG OfferedDataObject::AddRef() noexcept {
    return references_.fetch_add(1) + 1;
}

ULONG OfferedDataObject::Release() noexcept {
    ULONG left = references_.fetch_sub(1) - 1;
    if (left == 0) delete this;
    return left;
}

const OfferedFormat* OfferedDataObject::find(const FORMATETC& request) const noexcept {
    for (const OfferedFormat& offer : offers_) {
        if (offer.format == request.cfFormat && offer.lindex == request.lindex &&
            (tymed_of(offer.medium) & request.tymed) != 0 && request.dwAspect == DVASPECT_CONTENT) {
            return &offer;
        }
    }
    return nullptr;
}

HRESULT OfferedDataObject::GetData(FORMATETC* request, STGMEDIUM* medium) noexcept {
    if (request == nullptr || medium == nullptr) return E_INVALIDARG;
    if (misbehaviour_.get_data_never_returns) {
        if (misbehaviour_.on_hang != nullptr) misbehaviour_.on_hang();
        for (;;) Sleep(INFINITE);
    }
    const OfferedFormat* offer = find(*request);
    if (offer == nullptr) return DV_E_FORMATETC;
    *medium = STGMEDIUM{};
    if (offer->claimed_size || offer->overreport != 0) {
        medium->tymed = TYMED_ISTREAM;
        medium->pstm =
            MisreportingStream::create(offer->bytes, offer->claimed_size, offer->overreport)
                .release();
        return S_OK;
    }
    HGLOBAL block = copy_to_block(offer->bytes);
    if (block == nullptr) return E_OUTOFMEMORY;
    if (offer->medium == Medium::hglobal) {
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = block;
        return S_OK;
    }
    IStream* stream = nullptr;
    HRESULT hr = CreateStreamOnHGlobal(block, TRUE, &stream);
    if (FAILED(hr)) {
        GlobalFree(block);
        return hr;
    }
    // The block may be larger than the bytes; the stream must not be.
    ULARGE_INTEGER size{};
    size.QuadPart = offer->bytes.size();
    stream->SetSize(size);
    medium->tymed = TYMED_ISTREAM;
    medium->pstm = stream;
    return S_OK;
}

HRESULT OfferedDataObject::GetDataHere(FORMATETC*, STGMEDIUM*) noexcept {
    return E_NOTIMPL;
}

HRESULT OfferedDataObject::QueryGetData(FORMATETC* request) noexcept {
    if (request == nullptr) return E_INVALIDARG;
    return find(*request) != nullptr ? S_OK : DV_E_FORMATETC;
}

HRESULT OfferedDataObject::GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) noexcept {
    if (out != nullptr) out->ptd = nullptr;
    return E_NOTIMPL;
}

HRESULT OfferedDataObject::SetData(FORMATETC*, STGMEDIUM*, BOOL) noexcept {
    return E_NOTIMPL;
}

HRESULT OfferedDataObject::EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) noexcept {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (direction != DATADIR_GET) return E_NOTIMPL;
    std::vector<FORMATETC> listed;
    for (const OfferedFormat& offer : offers_) {
        listed.push_back(
            {offer.format, nullptr, DVASPECT_CONTENT, offer.lindex, tymed_of(offer.medium)});
    }
    if (misbehaviour_.endless_formats) {
        *out = EndlessFormatList::create(std::move(listed)).release();
        return S_OK;
    }
    return SHCreateStdEnumFmtEtc(static_cast<UINT>(listed.size()), listed.data(), out);
}

HRESULT OfferedDataObject::DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) noexcept {
    return OLE_E_ADVISENOTSUPPORTED;
}
HRESULT OfferedDataObject::DUnadvise(DWORD) noexcept {
    return OLE_E_ADVISENOTSUPPORTED;
}
HRESULT OfferedDataObject::EnumDAdvise(IEnumSTATDATA**) noexcept {
    return OLE_E_ADVISENOTSUPPORTED;
}

}  // namespace vth::drag
