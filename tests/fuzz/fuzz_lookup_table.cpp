// Lookup-table files (".txt", one "r, g, b, a" line per table entry). The
// first byte picks the table: 256 entries as for 8-bit data, 272 so that
// more bends than a curve keeps (256) can occur, or 16 for short files. The
// rest is the file. Checks in fuzz_curves.h.
#include "fuzz_curves.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    static TransferFunction small(16, TransferFunction::NoGL{});
    static TransferFunction normal(256, TransferFunction::NoGL{});
    static TransferFunction large(272, TransferFunction::NoGL{});
    TransferFunction* const tables[3] = {&small, &normal, &large};
    const std::string path = fuzzsupport::writeScratch("t.txt", data + 1, size - 1);
    fuzzsupport::readAndCheck(*tables[data[0] % 3], path);
    return 0;
}
