#pragma once
// The IDataObject a drag offers: each described format in its one medium,
// a fresh copy of the bytes for every GetData (the receiver releases it),
// or, for tests of drop targets, the misbehaviour asked for.
#include <ole2.h>
#include <windows.h>

#include <atomic>
#include <vector>

#include "offered_format.hpp"
#include "os/win/common/com_ref.hpp"

namespace vth::drag {

// Ways a data object breaks its contract.
struct Misbehaviour {
    bool endless_formats = false;  // the format list repeats the offers without end
    // GetData never returns (after calling on_hang when set): the thread that
    // serves it waits for ever, as a hung source program's would.
    bool get_data_never_returns = false;
    void (*on_hang)() = nullptr;
};

class OfferedDataObject final : public IDataObject {
  public:
    static win::ComRef<IDataObject> create(std::vector<OfferedFormat> offers,
                                           Misbehaviour misbehaviour = {});

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) noexcept override;
    ULONG STDMETHODCALLTYPE AddRef() noexcept override;
    ULONG STDMETHODCALLTYPE Release() noexcept override;

    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* request, STGMEDIUM* medium) noexcept override;
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) noexcept override;
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* request) noexcept override;
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) noexcept override;
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) noexcept override;
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD direction,
                                            IEnumFORMATETC** out) noexcept override;
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) noexcept override;
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) noexcept override;
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) noexcept override;

  private:
    OfferedDataObject(std::vector<OfferedFormat> offers, Misbehaviour misbehaviour) noexcept;
    ~OfferedDataObject() = default;
    const OfferedFormat* find(const FORMATETC& request) const noexcept;

    std::atomic<ULONG> references_{1};
    std::vector<OfferedFormat> offers_;
    Misbehaviour misbehaviour_;
};

}  // namespace vth::drag
