#pragma once

#include <QString>
#include <QStringList>

namespace tolvex::model {

/// The file manager's order, independent of the process locale (which may
/// be "C"): case-insensitive, letters with diacritics sorted with their base
/// letters ("Äpfel" beside "Apfel", "ß" as "ss"), runs of digits compared by
/// their value ("kette 2" before "Kette 10"). Texts that are equal under
/// these rules are ordered by their code units, so the order is total.
bool naturalLess(const QString& a, const QString& b);

/// A text as these rules compare it: decomposed, combining marks dropped,
/// sharp s spelled out, case folded. Searches that should find "Äpfel" by
/// "apfel" compare such texts too.
QString foldedForComparison(const QString& text);

/// Sorts `texts` by naturalLess, folding each text once.
void naturalSort(QStringList& texts);

} // namespace tolvex::model
