#include "platform/graph/PresentationOrder.h"

namespace kestrine::platform {

void PresentationOrder::Sent(REFERENCE_TIME time)
{
    pending_.insert(time);
    sent_.insert(time);
    if (sent_.size() > kHistory) sent_.erase(sent_.begin());
}

std::optional<REFERENCE_TIME> PresentationOrder::Next(std::optional<REFERENCE_TIME> ownTime, Kind kind)
{
    if (ownTime && kind == Kind::ShownAtOnce) {
        const auto own = sent_.find(*ownTime);
        if (own != sent_.end() && own != sent_.begin()) {
            const REFERENCE_TIME slot = *std::prev(own);
            pending_.erase(pending_.begin(), pending_.upper_bound(slot));
            return slot;
        }
    }
    if (ownTime) pending_.erase(pending_.begin(), pending_.lower_bound(*ownTime));
    if (pending_.empty()) return ownTime;
    const REFERENCE_TIME next = *pending_.begin();
    pending_.erase(pending_.begin());
    return next;
}

void PresentationOrder::Clear()
{
    pending_.clear();
    sent_.clear();
}

}  // namespace kestrine::platform
