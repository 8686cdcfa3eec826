#include "app/update/Version.h"

#include <QList>

namespace tolvex::app {

namespace {

/// The rank of a pre-release word; unknown words rank after rc and among
/// themselves compare alphabetically.
int wordRank(QStringView word)
{
    static const struct {
        const char* word;
        int rank;
    } known[] = {{"dev", 0},  {"a", 1}, {"alpha", 1}, {"b", 2},
                 {"beta", 2}, {"c", 3}, {"pre", 3},   {"rc", 3}};
    for (const auto& entry : known)
        if (word.compare(QLatin1String(entry.word), Qt::CaseInsensitive) == 0)
            return entry.rank;
    return 4;
}

/// Splits a suffix into runs of letters and runs of digits; other characters separate.
QList<QStringView> suffixTokens(QStringView suffix)
{
    QList<QStringView> tokens;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= suffix.size(); ++i) {
        const bool end = i == suffix.size();
        const bool boundary = end || !suffix[i].isLetterOrNumber() ||
                              (i > start && suffix[i].isDigit() != suffix[i - 1].isDigit());
        if (!boundary)
            continue;
        if (i > start)
            tokens << suffix.mid(start, i - start);
        start = (end || suffix[i].isLetterOrNumber()) ? i : i + 1;
    }
    return tokens;
}

std::strong_ordering compareTokens(QStringView a, QStringView b)
{
    const bool aNumber = a.front().isDigit();
    const bool bNumber = b.front().isDigit();
    if (aNumber && bNumber) {
        // Leading zeros do not count; then the longer run is the larger number.
        while (a.size() > 1 && a.front() == u'0')
            a = a.mid(1);
        while (b.size() > 1 && b.front() == u'0')
            b = b.mid(1);
        if (a.size() != b.size())
            return a.size() <=> b.size();
        return a.compare(b) <=> 0;
    }
    if (aNumber != bNumber) // a word before a number: "rc" < "1"
        return aNumber ? std::strong_ordering::greater : std::strong_ordering::less;
    if (const auto rank = wordRank(a) <=> wordRank(b); rank != 0)
        return rank;
    return a.compare(b, Qt::CaseInsensitive) <=> 0;
}

std::strong_ordering compareSuffixes(QStringView a, QStringView b)
{
    // A release comes after its pre-releases.
    if (a.isEmpty() || b.isEmpty())
        return a.isEmpty() <=> b.isEmpty();
    const QList<QStringView> left = suffixTokens(a);
    const QList<QStringView> right = suffixTokens(b);
    for (qsizetype i = 0; i < left.size() && i < right.size(); ++i)
        if (const auto order = compareTokens(left[i], right[i]); order != 0)
            return order;
    return left.size() <=> right.size();
}

} // namespace

std::optional<Version> Version::parse(QStringView text)
{
    Version version;
    text = text.trimmed();
    version.m_text = text.toString();
    if (const qsizetype plus = text.indexOf(u'+'); plus >= 0)
        text = text.left(plus);
    if (!text.isEmpty() && (text.front() == u'v' || text.front() == u'V'))
        text = text.mid(1);
    qsizetype pos = 0;
    while (pos < text.size() && text[pos].isDigit()) {
        qsizetype end = pos;
        while (end < text.size() && text[end].isDigit())
            ++end;
        bool ok = false;
        version.m_numbers.push_back(text.mid(pos, end - pos).toULongLong(&ok));
        if (!ok)
            return std::nullopt; // a number too large to be a version
        pos = end;
        if (pos + 1 < text.size() && text[pos] == u'.' && text[pos + 1].isDigit())
            ++pos;
    }
    if (version.m_numbers.empty())
        return std::nullopt;
    while (!version.m_numbers.empty() && version.m_numbers.back() == 0)
        version.m_numbers.pop_back();
    QStringView suffix = text.mid(pos);
    while (!suffix.isEmpty() && !suffix.front().isLetterOrNumber())
        suffix = suffix.mid(1);
    version.m_suffix = suffix.toString();
    return version;
}

std::strong_ordering Version::operator<=>(const Version& other) const
{
    if (const auto numbers = m_numbers <=> other.m_numbers; numbers != 0)
        return numbers;
    return compareSuffixes(m_suffix, other.m_suffix);
}

} // namespace tolvex::app
