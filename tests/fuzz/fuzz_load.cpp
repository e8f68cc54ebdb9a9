#include "fuzz_load.h"

#include "fuzz_support.h"
#include "histogram.h"
#include "load.h"
#include "volume.h"

#include <cstring>

namespace fuzzsupport {

int cancelStep(uint8_t selector)
{
    return selector < 8 ? selector : -1;
}

void checkProgress(const ProgressRecord& record, bool loaded)
{
    FUZZ_CHECK(record.opened == 1 && record.closed == 1);
    FUZZ_CHECK(gpProgressDlg == nullptr);
    FUZZ_CHECK(!record.updates.empty());
    int last = 0;
    for (const auto& u : record.updates) {
        FUZZ_CHECK(u.first >= last && u.first <= 100);
        last = u.first;
    }
    const int count = static_cast<int>(record.updates.size());
    const std::pair<int, std::string>& end = record.updates.back();
    if (loaded)
        FUZZ_CHECK(end.first == 99 && end.second == "Done.");
    else if (end.first != 100 || end.second != "Failed.")
        // Anything but a refusal stops at the step the user cancelled.
        FUZZ_CHECK(record.cancelAt == count - 1);
}

void releaseAndCheckRegistry(Volume& volume, uint32_t before)
{
    histogram.release();
    volume.release();
    FUZZ_CHECK(g_garbageCollector.count() == before);
}

} // namespace fuzzsupport
