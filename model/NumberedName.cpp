#include "model/NumberedName.h"

namespace tolvex::model {

namespace {

/// Where the extension's dot stands in the path: the last dot of its last
/// segment; the path's length when that has none.
qsizetype extensionStart(const QString& path)
{
    const qsizetype name = path.lastIndexOf(u'/') + 1;
    const qsizetype dot = path.lastIndexOf(u'.');
    return dot >= name ? dot : path.size();
}

} // namespace

QString numberedName(const QString& first, int n)
{
    if (n <= 1)
        return first;
    QString name = first;
    return name.insert(extensionStart(first), u' ' + QString::number(n));
}

QString firstNumberedName(const QString& path, int n)
{
    if (n <= 1)
        return path;
    const QString number = u' ' + QString::number(n);
    const qsizetype end = extensionStart(path);
    if (end < number.size() || QStringView(path).mid(end - number.size(), number.size()) != number)
        return path; // not of the series: it stands for itself
    QString name = path;
    return name.remove(end - number.size(), number.size());
}

} // namespace tolvex::model
