// Feeds arbitrary bytes to the property-list reader. A dictionary it reads
// and the binary writer accepts must read back to the same dictionary. The
// dictionaries are compared in their QDataStream form, in which a NaN equals
// itself; libplist's binary output itself is not canonical (it shares equal
// objects as its hash table finds them).
#include "host/PropertyList.h"

#include <QDataStream>
#include <QIODevice>

#include <cstdint>
#include <cstdlib>

namespace {

QByteArray serialised(const tolvex::host::PropertyDictionary& dictionary)
{
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    stream << dictionary;
    return bytes;
}

} // namespace

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
    if (!back || serialised(*back) != serialised(*dictionary))
        std::abort();
    return 0;
}
