#include "converter/floor_data_index.h"

#include <algorithm>
#include <array>

#include "level/trlevel.h"
#include "platform/rtl/progress.h"

std::vector<tfloordata_group> FloorDataGroups(1);
std::vector<uint16_t> FloorDataIndex;

namespace {

// Functions that are a single word (death, climb walls and the monkey and
// minecart markers of the later games).
bool TakesNoData(uint16_t function)
{
    return function == 5 || function == 6 || function == 19 || function == 20 || function == 21;
}

// Gauges are repainted on every change, so they are only told real changes.
void StepGauge(TProgressBar* gauge, int position)
{
    if (gauge && gauge->Position() != position) gauge->SetPosition(position);
}

class TFloorDataScanner {
public:
    TFloorDataScanner(const uint16_t* words, size_t count) : words_(words), count_(count) {}

    size_t Position() const { return p_; }
    bool AtEnd() const { return p_ >= count_; }

    // Decodes the run that starts at the current position.
    tfloordata_group Run()
    {
        tfloordata_group group;
        group.firstWord = static_cast<uint16_t>(p_);
        bool last = false;
        while (!last && !AtEnd()) {
            const uint16_t w = words_[p_];
            ttrigger_list entry;
            entry.function = w & 0x1F;
            entry.subFunction = (w >> 8) & 0x7F;
            last = (w & 0x8000) != 0;
            if (TakesNoData(entry.function)) {
                p_ += 1;
            } else {
                entry.data = p_ + 1 < count_ ? words_[p_ + 1] : 0;
                p_ += 2;
            }
            switch (entry.function) {
            case FD_PORTAL: group.portal = 1; break;
            case FD_TRIGGER: group.trigger = 1; break;
            case FD_DEATH: group.death = 1; break;
            default: break;
            }
            if (entry.function > 25) group.highFunction = 1;
            if (entry.function == FD_TRIGGER) Trigger(entry);
            Note(group, entry);
            if (group.entries.size() < MAX_GROUP_ENTRIES) group.entries.push_back(std::move(entry));
        }
        group.entryCount = static_cast<int32_t>(group.entries.size());
        PortalRooms(group);
        return group;
    }

private:
    // What the converter reads of an entry, kept or not.
    void Note(tfloordata_group& group, const ttrigger_list& entry)
    {
        if (entry.function == FD_FLOOR_SLANT) AddSlant(group.floorSlants, entry.data);
        if (entry.function == FD_CEILING_SLANT) AddSlant(group.ceilingSlants, entry.data);
        if (entry.function == FD_PORTAL && entry.data < MAX_PORTAL_ROOM) {
            if (lastPortal_[entry.data] == 0) portalsSeen_.push_back(entry.data);
            lastPortal_[entry.data] = ++portalEntries_;
        }
    }
    // The run's portal rooms in the order of their last entries.
    void PortalRooms(tfloordata_group& group)
    {
        std::sort(portalsSeen_.begin(), portalsSeen_.end(),
                  [this](uint16_t a, uint16_t b) { return lastPortal_[a] < lastPortal_[b]; });
        group.portalRooms = portalsSeen_;
        for (uint16_t room : portalsSeen_) lastPortal_[room] = 0;
        portalsSeen_.clear();
        portalEntries_ = 0;
    }

    void Trigger(ttrigger_list& entry)
    {
        tfdlist& t = entry.trigger;
        t.triggerType = entry.subFunction;
        t.triggerItem = -1;
        if ((t.triggerType == 2 || t.triggerType == 3 || t.triggerType == 4) && !AtEnd()) {
            t.triggerItem = words_[p_];
            p_ += 1;
        }
        bool more = true;
        while (more && !AtEnd()) {
            const uint16_t a = words_[p_];
            tfdaction action;
            action.action = static_cast<uint8_t>((a & 0x3C00) >> 10);
            action.parameter = a & 0x3FF;
            p_ += 1;
            more = (a & 0x8000) == 0;
            // A camera action carries one more word, whose end flag counts instead.
            if (((a >> 10) & 0x1F) == 1) {
                if (AtEnd()) {
                    more = false;
                } else {
                    const uint16_t b = words_[p_];
                    action.cameraWord = b & 0x7F00;
                    p_ += 1;
                    more = (b & 0x8000) == 0;
                }
            }
            if (t.actions.size() < MAX_TRIGGER_ACTIONS) t.actions.push_back(action);
        }
        t.actionCount = static_cast<int32_t>(t.actions.size());
    }

    const uint16_t* words_;
    size_t count_;
    size_t p_ = 1;  // word 0 never starts a run
    // The portal rooms of the run being read: the number of the last portal
    // entry that named each (0: none), and each once.
    std::array<uint64_t, MAX_PORTAL_ROOM> lastPortal_{};
    std::vector<uint16_t> portalsSeen_;
    uint64_t portalEntries_ = 0;
};

}  // namespace

void IndexFloorData(const Ttrlevel& level, TProgressBar* Gauge3, TProgressBar* Gauge2)
{
    const size_t count = std::min<size_t>(level.num_floor_data, level.floor_data.size());

    FloorDataGroups.clear();
    FloorDataGroups.emplace_back();
    FloorDataIndex.assign(count, 0);

    TFloorDataScanner scan(level.floor_data.data(), count);
    while (!scan.AtEnd()) {
        const size_t start = scan.Position();
        tfloordata_group group = scan.Run();
        // The index is filled at each run's true position: a run that starts
        // past word 65535 keeps only the low 16 bits in its group record and
        // must not take over the slot of an earlier run. Group numbers past
        // 65535 cannot be stored; no sector can reach their runs, and their
        // groups are not kept.
        const size_t number = FloorDataGroups.size();
        if (number <= 0xFFFF) {
            FloorDataGroups.push_back(std::move(group));
            FloorDataIndex[start] = static_cast<uint16_t>(number);
        }

        const double done = static_cast<double>(std::min(scan.Position(), count)) / static_cast<double>(count);
        StepGauge(Gauge3, static_cast<int>(done * 100.0));
        StepGauge(Gauge2, static_cast<int>(done * 25.0));
    }
    StepGauge(Gauge3, 0);
}
