#pragma once

#include <QByteArrayView>

namespace tolvex::host {

/// What reading one property list may build: bounds far beyond any plugin
/// state (a dictionary of a few entries a level or two deep, its blobs some
/// megabytes at most, as a convolver's impulse response), which keep a
/// hostile or damaged list from exhausting the stack (deep nesting), the
/// memory or the time (a binary list whose containers refer many times to
/// one container, which libplist copies for each reference). Values and
/// bytes are allowed in proportion to the list's size, so a list that shares
/// nothing fits however large it is.
class PropertyListBudget {
public:
    /// Containers inside containers, the root dictionary counted as 1; a
    /// level takes a few hundred bytes of stack in libplist's binary reader
    /// and in the conversion.
    static constexpr int depth = 256;
    /// Values beyond one per byte of the list. A binary list takes a byte per
    /// value and per reference at least, an XML one more, so only a list that
    /// shares containers needs more.
    static constexpr quint64 extraNodes = 1 << 16;
    /// Bytes of text and data beyond twice the list's size (UTF-16 text
    /// grows by half as UTF-8): only a list that shares a blob among
    /// references needs more.
    static constexpr quint64 extraBytes = quint64(64) << 20;
    /// `<array` and `<dict` tags in an XML list, counted wherever they stand,
    /// also where libplist reads them as text. libplist parses XML without
    /// recursion but frees what it built by recursion, also after an error
    /// half way; this many levels take well under a megabyte of stack.
    static constexpr qsizetype xmlContainers = 8192;

    /// The budget of a list of `size` bytes.
    explicit PropertyListBudget(qsizetype size)
        : m_nodes(quint64(size) + extraNodes), m_bytes(2 * quint64(size) + extraBytes)
    {}

    /// Whether `nodes` values holding `bytes` of text and data fit in what is
    /// left.
    bool allows(quint64 nodes, quint64 bytes) const { return nodes <= m_nodes && bytes <= m_bytes; }
    /// Spends one value holding `bytes`; false, spending nothing, when it
    /// does not fit.
    bool take(quint64 bytes)
    {
        if (!allows(1, bytes))
            return false;
        --m_nodes;
        m_bytes -= bytes;
        return true;
    }

private:
    quint64 m_nodes;
    quint64 m_bytes;
};

/// Whether libplist may be given `data` (at least 8 bytes): a binary list
/// expands, every reference followed, within the depth limit and `budget`
/// and holds no UTF-16 string with a NUL; an XML list holds few enough
/// container tags. Looks at the bytes only, in time proportional to their
/// size.
bool libplistMayRead(QByteArrayView data, const PropertyListBudget& budget);

} // namespace tolvex::host
