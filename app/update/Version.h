#pragma once

#include <QString>
#include <QStringView>

#include <compare>
#include <optional>
#include <vector>

namespace tolvex::app {

/// A release version as written in update feeds and by the build: dotted numbers
/// ("0.10", "1.2.3"), optionally led by "v" and followed by a pre-release suffix
/// ("-beta2", "rc1") and build metadata ("+abc", ignored). Numbers compare
/// numerically and trailing zeros do not count (1.0 == 1.0.0, 0.10 > 0.9); a
/// version with a suffix comes before the same numbers without one
/// (1.0-beta < 1.0), and suffixes order as dev < alpha < beta < rc, with their
/// own numbers compared numerically (beta2 < beta10).
class Version {
public:
    /// Nothing when the text does not start with a number (after an optional "v").
    static std::optional<Version> parse(QStringView text);

    /// The text the version was read from, trimmed.
    const QString& text() const { return m_text; }

    std::strong_ordering operator<=>(const Version& other) const;
    bool operator==(const Version& other) const { return (*this <=> other) == 0; }

private:
    QString m_text;
    std::vector<quint64> m_numbers; // without trailing zeros
    QString m_suffix;               // empty for a release
};

} // namespace tolvex::app
