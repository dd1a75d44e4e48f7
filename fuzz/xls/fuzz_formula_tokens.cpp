// The formula decompiler; see formulaexercise.h.

#include "formulaexercise.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return exerciseFormula(data, size, false);
}
