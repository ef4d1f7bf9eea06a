#include "platform/rtl/work_meter.h"

namespace {
thread_local TWorkMeter* g_current = nullptr;
}  // namespace

TWorkScope::TWorkScope(uint64_t inputBytes) : previous_(g_current)
{
    if (previous_) {
        meter_ = previous_;
    } else {
        own_.emplace(inputBytes);
        meter_ = &*own_;
    }
    g_current = meter_;
}

TWorkScope::~TWorkScope() { g_current = previous_; }

TWorkMeter* TWorkScope::Current() { return g_current; }

void ChargeWork(uint64_t units)
{
    if (g_current) g_current->Charge(units);
}

void GrantWork(uint64_t units)
{
    if (g_current) g_current->Grant(units);
}

void GrantOutputWork(uint64_t bytes)
{
    if (g_current) g_current->GrantOutput(bytes);
}
