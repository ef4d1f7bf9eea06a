#include "codecs/row_records.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <utility>

#include "platform/rtl/work_meter.h"

TRowRecords::TRowRecords(const std::vector<uint64_t>& keys, size_t recordBytes, uint64_t memory)
    : recordBytes_(recordBytes),
      maxSlots_(static_cast<size_t>(std::min<uint64_t>(memory / recordBytes, keys.size()))),
      next_(keys.size(), kNoUse),
      kept_(keys.size(), kNoSlot)
{
    assert(recordBytes > 0 && keys.size() < kNoUse);
    // Sorting the uses by key (and by order among equal keys) puts the uses
    // of each record side by side: each one's next use follows it.
    ChargeWork(SortingWork(keys.size()));
    std::vector<std::pair<uint64_t, uint32_t>> order(keys.size());
    for (size_t i = 0; i < keys.size(); ++i) order[i] = {keys[i], static_cast<uint32_t>(i)};
    std::sort(order.begin(), order.end());
    for (size_t i = 1; i < order.size(); ++i)
        if (order[i].first == order[i - 1].first) next_[order[i - 1].second] = order[i].second;
}

uint64_t SortingWork(size_t count) { return TWorkMeter::Product(count, 4 * uint64_t(std::bit_width(count))); }

int32_t TRowRecords::Allocate()
{
    if (!free_.empty()) {
        const int32_t slot = free_.back();
        free_.pop_back();
        return slot;
    }
    if (slots_.size() >= maxSlots_) return kNoSlot;
    slots_.push_back(std::make_unique_for_overwrite<uint8_t[]>(recordBytes_));
    return static_cast<int32_t>(slots_.size() - 1);
}

void TRowRecords::Pass(size_t use, int32_t slot)
{
    kept_[use] = kNoSlot;
    if (next_[use] != kNoUse) kept_[next_[use]] = slot;
    else released_.push_back(slot);
}

void TRowRecords::Release()
{
    free_.insert(free_.end(), released_.begin(), released_.end());
    released_.clear();
}
