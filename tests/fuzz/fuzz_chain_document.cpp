// Feeds arbitrary bytes to the chain-document decoder. What it accepts must
// encode to a document that decodes again to the same encoding.
#include "model/ChainDocument.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace tolvex::model;
    const auto chain = decodeChain(QByteArrayView(data, qsizetype(size)));
    if (!chain)
        return 0;
    const QByteArray encoded = encodeChain(*chain);
    const auto again = decodeChain(encoded);
    if (!again || encodeChain(*again) != encoded)
        std::abort();
    return 0;
}
