// What every load target checks around one load: the progress dialog, the
// end of a failed load, and the allocation registry afterwards.
#ifndef GLIMRA_FUZZ_LOAD_H
#define GLIMRA_FUZZ_LOAD_H

#include "unit/load_test_util.h"

#include <cstdint>

class Volume;

namespace fuzzsupport {

// The load step at which the recording dialog answers "cancel", taken from
// the first input byte: values 0 ... 7 name a step, the rest never cancel.
int cancelStep(uint8_t selector);

// Progress only moves forward within 0 ... 100, one dialog is opened and
// closed, and a load ends with "Done." when it succeeded, and otherwise with
// "Failed." or at the step the user cancelled.
void checkProgress(const ProgressRecord& record, bool loaded);

// Releases what a load left in volume and the histogram; the registry must
// then hold exactly the entries it held before the load.
void releaseAndCheckRegistry(Volume& volume, uint32_t before);

} // namespace fuzzsupport

#endif
