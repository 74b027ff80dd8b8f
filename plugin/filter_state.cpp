#include "plugin/filter_state.h"

#include <atomic>
#include <type_traits>

#include "plugin/engine_state.h"
#include "plugin/settings_table.h"

static_assert(std::is_trivially_copyable_v<FilterState>, "the host may clone instances by memcpy");
static_assert(std::atomic_ref<int>::required_alignment <= alignof(int));

int loadShared(const int& field)
{
    // atomic_ref of const is not in C++20; the load does not write.
    return std::atomic_ref<int>(const_cast<int&>(field)).load(std::memory_order_relaxed);
}

void storeShared(int& field, int value)
{
    std::atomic_ref<int>(field).store(value, std::memory_order_relaxed);
}

void resetFilterState(FilterState& state, int processorCount, int width, int height)
{
    state.preview = nullptr;
    state.threadCount = processorCount < 1 ? 1 : processorCount;
    storeCorrectionHistory(state, identityHistory());
    state.gammaBackup = state.borderBackup = state.alignmentBackup = state.freezeBackup = 0;
    for (int& m : state.marginBackup) m = 0;
    for (const Setting& s : kSettings) storeShared(state.*s.field, s.defaultValue);
    storeShared(state.dialogClosed, 1);
    storeShared(state.reserve, 0);
    storeShared(state.width, width);
    storeShared(state.height, height);
}
