#pragma once

class QCoreApplication;

namespace tolvex::app {

/// Makes Qt's own texts German, as the window's are: its dialogs, the
/// text fields' context menus and the shortcuts' names ("Strg+O"), from
/// Qt's translations where the system keeps them; and formats numbers the
/// German way. False when the translations are not installed: Qt's texts
/// then stay English, and everything else works.
bool installGermanTranslations(QCoreApplication& application);

} // namespace tolvex::app
