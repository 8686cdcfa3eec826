// Feeds arbitrary bytes to the property-list reader. A dictionary it reads
// and the binary writer accepts must read back to the same binary form.
#include "host/PropertyList.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace tolvex::host;
    const auto dictionary = readPropertyList(QByteArrayView(data, qsizetype(size)));
    if (!dictionary)
        return 0;
    const auto written = writeBinaryPropertyList(*dictionary);
    if (!written)
        return 0;
    const auto back = readPropertyList(*written);
    if (!back || writeBinaryPropertyList(*back) != written)
        std::abort();
    return 0;
}
