// Palette files (".pal"): the input is the file. Checks in fuzz_curves.h.
#include "fuzz_curves.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // One transfer function for the whole run, as the program has one.
    static TransferFunction tf(256, TransferFunction::NoGL{});
    const std::string path = fuzzsupport::writeScratch("p.pal", data, size);
    fuzzsupport::readAndCheck(tf, path);
    return 0;
}
