#pragma once

#include "model/AudioItem.h"
#include "ui/files/FileRowDelegate.h"

#include <QMenu>
#include <QSet>
#include <QUuid>

namespace tolvex::session {
class Session;
}

namespace tolvex::ui::files {

/// The context menu of one row of the files list. It acts on the whole
/// selection when the row is selected, otherwise on the row alone; the set
/// is fixed when the menu is made. Items: preview or stop, export only
/// these, reveal the result (done rows only) and the original, remove.
class RowMenu : public QMenu {
    Q_OBJECT

public:
    RowMenu(session::Session& session, tolvex::chain::Chain& chain, const model::AudioItem& item,
            RevealFile reveal, QWidget* parent = nullptr);
};

} // namespace tolvex::ui::files
