// Feeds a Workbook stream to the record reader and the layout; see
// streamexercise.h.

#include "streamexercise.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (!exerciseStream(QByteArray(reinterpret_cast<const char *>(data), int(size))))
        std::abort();
    return 0;
}
