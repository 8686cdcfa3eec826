#include "model/NaturalOrder.h"

#include <QStringView>

namespace tolvex::model {

bool naturalLess(const QString& a, const QString& b)
{
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            qsizetype endA = i;
            qsizetype endB = j;
            while (endA < a.size() && a[endA].isDigit())
                ++endA;
            while (endB < b.size() && b[endB].isDigit())
                ++endB;
            // Compare by value: strip leading zeros, then length, then digits.
            QStringView digitsA = QStringView(a).sliced(i, endA - i);
            QStringView digitsB = QStringView(b).sliced(j, endB - j);
            while (digitsA.size() > 1 && digitsA.front() == u'0')
                digitsA = digitsA.sliced(1);
            while (digitsB.size() > 1 && digitsB.front() == u'0')
                digitsB = digitsB.sliced(1);
            if (digitsA.size() != digitsB.size())
                return digitsA.size() < digitsB.size();
            if (const int order = digitsA.compare(digitsB); order != 0)
                return order < 0;
            i = endA;
            j = endB;
            continue;
        }
        const QChar x = a[i].toCaseFolded();
        const QChar y = b[j].toCaseFolded();
        if (x != y)
            return x < y;
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

} // namespace tolvex::model
