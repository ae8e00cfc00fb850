#include "platform/graph/MediaSample.h"

namespace kestrine::platform {

AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE& from) { return new (std::nothrow) AM_MEDIA_TYPE(from); }

void DeleteMediaType(AM_MEDIA_TYPE* type) { delete type; }

HRESULT MemorySample::GetPointer(BYTE** buffer)
{
    if (buffer == nullptr) return E_POINTER;
    *buffer = data_.data();
    return S_OK;
}

HRESULT MemorySample::GetTime(REFERENCE_TIME* start, REFERENCE_TIME* end)
{
    if (start == nullptr || end == nullptr) return E_POINTER;
    if (!start_) return VFW_E_NOT_FOUND;
    *start = *start_;
    *end = end_.value_or(*start_ + 1);
    return end_ ? S_OK : S_FALSE;
}

HRESULT MemorySample::SetTime(const REFERENCE_TIME* start, const REFERENCE_TIME* end)
{
    if (start == nullptr) {
        start_.reset();
        end_.reset();
        return S_OK;
    }
    start_ = *start;
    if (end) end_ = *end;
    else end_.reset();
    return S_OK;
}

HRESULT MemorySample::SetSyncPoint(BOOL sync)
{
    sync_ = sync != 0;
    return S_OK;
}

HRESULT MemorySample::SetPreroll(BOOL preroll)
{
    preroll_ = preroll != 0;
    return S_OK;
}

HRESULT MemorySample::SetActualDataLength(LONG length)
{
    if (length < 0 || length > static_cast<LONG>(data_.size())) return E_INVALIDARG;
    length_ = length;
    return S_OK;
}

HRESULT MemorySample::SetDiscontinuity(BOOL discontinuity)
{
    discontinuity_ = discontinuity != 0;
    return S_OK;
}

ComPtr<IMediaSample> MakeSample(std::vector<BYTE> data, REFERENCE_TIME start, REFERENCE_TIME end, bool syncPoint)
{
    auto sample = MakeComObject<MemorySample>(std::move(data));
    sample->SetTime(&start, &end);
    sample->SetSyncPoint(syncPoint ? 1 : 0);
    return ComPtr<IMediaSample>(sample);
}

std::vector<BYTE> SampleBytes(IMediaSample* sample)
{
    if (sample == nullptr) return {};
    BYTE* p = nullptr;
    if (FAILED(sample->GetPointer(&p)) || p == nullptr) return {};
    const LONG n = sample->GetActualDataLength();
    return n > 0 ? std::vector<BYTE>(p, p + n) : std::vector<BYTE>();
}

std::vector<BYTE> TakeSampleBytes(IMediaSample* sample)
{
    if (auto* own = dynamic_cast<MemorySample*>(sample); own && own->GetActualDataLength() == own->GetSize() && own->GetSize() > 0)
        return own->TakeData();
    return SampleBytes(sample);
}

}  // namespace kestrine::platform
