#include "host/PropertyListBudget.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace tolvex::host {

namespace {

/// The big-endian unsigned integer of `size` bytes (1...8) at `at`; nothing
/// past the end.
std::optional<quint64> bigEndian(QByteArrayView data, quint64 at, quint64 size)
{
    if (size < 1 || size > 8 || at > quint64(data.size()) || size > quint64(data.size()) - at)
        return std::nullopt;
    quint64 value = 0;
    for (quint64 i = 0; i < size; ++i)
        value = value << 8 | uchar(data[qsizetype(at + i)]);
    return value;
}

/// Where a binary list's objects are: the trailer's fields.
struct Trailer {
    quint64 offsetSize;
    quint64 referenceSize;
    quint64 count;
    quint64 root;
    quint64 table; // the offset table; the objects lie between the header and it
};

std::optional<Trailer> readTrailer(QByteArrayView data)
{
    const quint64 size = quint64(data.size());
    if (!data.startsWith("bplist00") || size < 40)
        return std::nullopt;
    const quint64 at = size - 32;
    const auto count = bigEndian(data, at + 8, 8);
    const auto root = bigEndian(data, at + 16, 8);
    const auto table = bigEndian(data, at + 24, 8);
    const quint64 offsetSize = uchar(data[qsizetype(at + 6)]);
    const quint64 referenceSize = uchar(data[qsizetype(at + 7)]);
    if (!count || !root || !table || offsetSize < 1 || offsetSize > 8 || referenceSize < 1 ||
        referenceSize > 8 || *table < 8 || *table > at || *count == 0 ||
        *count > (at - *table) / offsetSize || *root >= *count)
        return std::nullopt;
    return Trailer{offsetSize, referenceSize, *count, *root, *table};
}

/// One object of a binary list: its type (the marker's high half), its
/// length (of elements, entries, bytes or UTF-16 units) and where its body
/// starts.
struct Object {
    uchar type;
    quint64 length;
    quint64 body;
};

/// The object at `index`; nothing when its offset or length does not read
/// or it does not start before `end`. A length that follows the marker must
/// be an integer of one to eight bytes, as every writer makes it.
std::optional<Object> objectAt(QByteArrayView data, const Trailer& trailer, quint64 index,
                               quint64 end)
{
    const auto offset =
        bigEndian(data, trailer.table + index * trailer.offsetSize, trailer.offsetSize);
    if (!offset || *offset < 8 || *offset >= end)
        return std::nullopt;
    const uchar marker = uchar(data[qsizetype(*offset)]);
    Object object{uchar(marker >> 4), quint64(marker & 0xf), *offset + 1};
    const bool counted = (object.type >= 0x4 && object.type <= 0x6) || object.type == 0xa ||
                         object.type == 0xc || object.type == 0xd;
    if (!counted || object.length != 0xf)
        return object;
    const uchar lengthMarker = object.body < end ? uchar(data[qsizetype(object.body)]) : 0;
    if (lengthMarker >> 4 != 1 || (lengthMarker & 0xf) > 3)
        return std::nullopt;
    const quint64 bytes = quint64(1) << (lengthMarker & 0x3);
    const auto length = bigEndian(data, object.body + 1, bytes);
    if (!length || object.body + 1 + bytes > end)
        return std::nullopt;
    object.length = *length;
    object.body += 1 + bytes;
    return object;
}

/// Whether a binary property list holds a UTF-16 string with a NUL character
/// in it. libplist aborts the process when it hands out a dictionary key like
/// that (and no writer of ours makes one), so such lists are refused before
/// it parses them. Every object in the offset table is looked at, whether
/// referred to or not; one too broken to look into is passed over (libplist
/// refuses a list that refers to it).
bool hasUtf16StringWithNul(QByteArrayView data)
{
    const auto trailer = readTrailer(data);
    const quint64 size = quint64(data.size());
    for (quint64 i = 0; trailer && i < trailer->count; ++i) {
        const auto object = objectAt(data, *trailer, i, size);
        if (!object || object->type != 0x6 || object->length > (size - object->body) / 2)
            continue;
        for (quint64 at = object->body; at < object->body + object->length * 2; at += 2)
            if (data[qsizetype(at)] == 0 && data[qsizetype(at + 1)] == 0)
                return true;
    }
    return false;
}

/// What an object of a binary list expands to, every reference followed.
struct Expansion {
    quint64 nodes = 0;
    quint64 bytes = 0;
    quint64 depth = 0; // containers, the object itself included

    void add(const Expansion& part)
    {
        nodes += part.nodes;
        bytes += part.bytes;
        depth = std::max(depth, part.depth);
    }
};

/// Follows every reference of a binary list as libplist does, building
/// nothing: how many values, bytes of text and data, and levels the list
/// expands to. Each object is looked into once, so the walk takes time in
/// proportion to the list's size however much the list would expand.
class BinaryExpansion {
public:
    BinaryExpansion(QByteArrayView data, const Trailer& trailer)
        : m_data(data), m_trailer(trailer), m_done(trailer.count), m_open(trailer.count)
    {}

    /// Whether the list, expanded, keeps within the depth limit and
    /// `budget`. False also for a list that refers to itself or whose
    /// structure does not read; libplist refuses those too.
    bool fits(const PropertyListBudget& budget)
    {
        if (!enter(m_trailer.root, budget))
            return false;
        while (!m_path.empty()) {
            Frame& frame = m_path.back();
            if (frame.next == frame.references) {
                if (!close(budget))
                    return false;
                continue;
            }
            const quint64 size = m_trailer.referenceSize;
            const auto child = bigEndian(m_data, frame.object.body + frame.next++ * size, size);
            if (!child || *child >= m_trailer.count || m_open[*child] || !enter(*child, budget))
                return false;
        }
        return true;
    }

private:
    struct Frame {
        quint64 index;
        Object object;
        quint64 references;
        quint64 next = 0;
        Expansion sum; // of the references followed so far
    };

    static bool isContainer(uchar type) { return type == 0xa || type == 0xc || type == 0xd; }

    /// The sum the innermost open container collects; the whole list's
    /// when none is open.
    Expansion& parentSum() { return m_path.empty() ? m_total : m_path.back().sum; }

    /// Opens the container at `index` on the path, or adds the object to its
    /// parent at once when it was expanded before or holds no references.
    bool enter(quint64 index, const PropertyListBudget& budget)
    {
        if (!m_done[index]) {
            const auto object = objectAt(m_data, m_trailer, index, m_trailer.table);
            if (!object)
                return false;
            if (isContainer(object->type))
                return open(index, *object);
            m_done[index] = leafExpansion(*object, m_trailer.table);
            if (!m_done[index])
                return false;
        }
        if (m_path.size() + m_done[index]->depth > quint64(PropertyListBudget::depth))
            return false;
        Expansion& parent = parentSum();
        parent.add(*m_done[index]);
        return budget.allows(parent.nodes, parent.bytes);
    }

    bool open(quint64 index, const Object& object)
    {
        const quint64 room = (m_trailer.table - object.body) / m_trailer.referenceSize;
        const quint64 perEntry = object.type == 0xd ? 2 : 1; // a dictionary's keys, then values
        if (m_path.size() >= size_t(PropertyListBudget::depth) || object.length > room / perEntry)
            return false;
        m_open[index] = true;
        m_path.push_back({index, object, object.length * perEntry, 0, {}});
        return true;
    }

    /// Closes the innermost container, all its references followed.
    bool close(const PropertyListBudget& budget)
    {
        const Frame frame = m_path.back();
        m_path.pop_back();
        m_open[frame.index] = false;
        m_done[frame.index] = Expansion{frame.sum.nodes + 1, frame.sum.bytes, frame.sum.depth + 1};
        Expansion& parent = parentSum();
        parent.add(*m_done[frame.index]);
        return budget.allows(parent.nodes, parent.bytes);
    }

    /// An object without references: one value and its text or data bytes.
    static std::optional<Expansion> leafExpansion(const Object& object, quint64 end)
    {
        switch (object.type) {
        case 0x0: // null, boolean
        case 0x1: // integer
        case 0x2: // real
        case 0x3: // date
        case 0x8: // UID
            return Expansion{1, 0, 0};
        case 0x4: // data
        case 0x5: // ASCII string
            if (object.length > end - object.body)
                return std::nullopt;
            return Expansion{1, object.length, 0};
        case 0x6: // UTF-16 string
            if (object.length > (end - object.body) / 2)
                return std::nullopt;
            return Expansion{1, object.length * 2, 0};
        default: // no type libplist reads
            return std::nullopt;
        }
    }

    QByteArrayView m_data;
    Trailer m_trailer;
    std::vector<std::optional<Expansion>> m_done;
    std::vector<bool> m_open;
    std::vector<Frame> m_path;
    Expansion m_total;
};

} // namespace

bool libplistMayRead(QByteArrayView data, const PropertyListBudget& budget)
{
    if (!data.startsWith("bplist00"))
        return data.count("<array") + data.count("<dict") <= PropertyListBudget::xmlContainers;
    const auto trailer = readTrailer(data);
    return trailer && !hasUtf16StringWithNul(data) && BinaryExpansion(data, *trailer).fits(budget);
}

} // namespace tolvex::host
