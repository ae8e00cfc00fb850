#pragma once
// Samples that own their bytes.
#include "platform/com/ComObject.h"
#include "platform/graph/FilterInterfaces.h"

#include <optional>
#include <vector>

namespace kestrine::platform {

// A sample holding its own buffer. Times are stream times relative to the segment start.
class MemorySample final : public ComObject<IMediaSample> {
public:
    explicit MemorySample(std::vector<BYTE> data) : data_(std::move(data)), length_(static_cast<LONG>(data_.size())) {}

    HRESULT GetPointer(BYTE** buffer) override;
    LONG GetSize() override { return static_cast<LONG>(data_.size()); }
    HRESULT GetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) override;
    HRESULT SetTime(const REFERENCE_TIME* start, const REFERENCE_TIME* end) override;
    HRESULT IsSyncPoint() override { return sync_ ? S_OK : S_FALSE; }
    HRESULT SetSyncPoint(BOOL sync) override;
    HRESULT IsPreroll() override { return preroll_ ? S_OK : S_FALSE; }
    HRESULT SetPreroll(BOOL preroll) override;
    LONG GetActualDataLength() override { return length_; }
    HRESULT SetActualDataLength(LONG length) override;
    HRESULT IsDiscontinuity() override { return discontinuity_ ? S_OK : S_FALSE; }
    HRESULT SetDiscontinuity(BOOL discontinuity) override;

    const std::vector<BYTE>& Data() const { return data_; }
    // Gives the buffer away, leaving the sample empty.
    std::vector<BYTE> TakeData()
    {
        length_ = 0;
        return std::move(data_);
    }

private:
    std::vector<BYTE> data_;
    LONG length_;
    std::optional<REFERENCE_TIME> start_;
    std::optional<REFERENCE_TIME> end_;
    bool sync_ = false;
    bool preroll_ = false;
    bool discontinuity_ = false;
};

// Makes a sample with its times and flags in one call.
ComPtr<IMediaSample> MakeSample(std::vector<BYTE> data, REFERENCE_TIME start, REFERENCE_TIME end, bool syncPoint);

// The bytes of a sample, cut to its actual length.
std::vector<BYTE> SampleBytes(IMediaSample* sample);
// The same for the last filter to read a sample: one of ours hands over its buffer instead of a copy
// (a 1280x720 picture is 3.5 MB).
std::vector<BYTE> TakeSampleBytes(IMediaSample* sample);

}  // namespace kestrine::platform
