#include "model/NaturalOrder.h"

#include <QStringView>

#include <algorithm>
#include <vector>

namespace tolvex::model {

namespace {

bool isMark(QChar c)
{
    const QChar::Category category = c.category();
    return category == QChar::Mark_NonSpacing || category == QChar::Mark_SpacingCombining ||
           category == QChar::Mark_Enclosing;
}

/// The run of digits starting at `from`, without leading zeros (one zero
/// stays for a run of zeros); `end` is set to the index after the run.
QStringView digitRun(QStringView text, qsizetype from, qsizetype& end)
{
    end = from;
    while (end < text.size() && text[end].isDigit())
        ++end;
    QStringView run = text.sliced(from, end - from);
    while (run.size() > 1 && run.front() == u'0')
        run = run.sliced(1);
    return run;
}

/// Three-way comparison of two folded texts, digit runs by value.
int compareFolded(QStringView a, QStringView b)
{
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            qsizetype endA = 0;
            qsizetype endB = 0;
            const QStringView x = digitRun(a, i, endA);
            const QStringView y = digitRun(b, j, endB);
            if (x.size() != y.size())
                return x.size() < y.size() ? -1 : 1;
            if (const int order = x.compare(y); order != 0)
                return order;
            i = endA;
            j = endB;
            continue;
        }
        if (a[i] != b[j])
            return a[i] < b[j] ? -1 : 1;
        ++i;
        ++j;
    }
    const qsizetype restA = a.size() - i;
    const qsizetype restB = b.size() - j;
    return restA == restB ? 0 : (restA < restB ? -1 : 1);
}

bool lessWithKeys(const QString& a, const QString& keyA, const QString& b, const QString& keyB)
{
    if (const int order = compareFolded(keyA, keyB); order != 0)
        return order < 0;
    return QStringView(a).compare(QStringView(b)) < 0;
}

} // namespace

QString foldedForComparison(const QString& text)
{
    const QString decomposed = text.normalized(QString::NormalizationForm_D);
    QString out;
    out.reserve(decomposed.size());
    for (const QChar c : decomposed) {
        if (isMark(c))
            continue;
        if (c == u'ß' || c == u'\u1E9E')
            out += QStringLiteral("ss");
        else
            out += c;
    }
    return out.toCaseFolded();
}

bool naturalLess(const QString& a, const QString& b)
{
    return lessWithKeys(a, foldedForComparison(a), b, foldedForComparison(b));
}

void naturalSort(QStringList& texts)
{
    struct Keyed {
        QString key;
        QString text;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(size_t(texts.size()));
    for (QString& text : texts)
        keyed.push_back({foldedForComparison(text), std::move(text)});
    std::sort(keyed.begin(), keyed.end(), [](const Keyed& x, const Keyed& y) {
        return lessWithKeys(x.text, x.key, y.text, y.key);
    });
    texts.clear();
    for (Keyed& entry : keyed)
        texts.append(std::move(entry.text));
}

} // namespace tolvex::model
