// Checks shared by the palette and lookup-table targets.
#ifndef GLIMRA_FUZZ_CURVES_H
#define GLIMRA_FUZZ_CURVES_H

#include "transfer_function.h"

#include <string>
#include <vector>

namespace fuzzsupport {

// The four curves' points and kinds, to see that a refused file changed nothing.
std::vector<float> curveState(const TransferFunction& tf);

// Reads path into tf as the program does (refresh, build) and checks the
// outcome: accepted curves are ordered and in range and survive being saved
// as a palette and read again; a refusal logs the reader's message and
// leaves every curve as it was.
void readAndCheck(TransferFunction& tf, const std::string& path);

} // namespace fuzzsupport

#endif
