#include "ui/files/RowMenu.h"

#include "chain/Chain.h"
#include "session/Session.h"

namespace tolvex::ui::files {

RowMenu::RowMenu(session::Session& session, tolvex::chain::Chain& chain,
                 const model::AudioItem& item, RevealFile reveal, QWidget* parent)
    : QMenu(parent)
{
    // The selection when the row is in it, else the row alone.
    const QSet<QUuid> ids =
        session.isSelected(item.id) ? session.selection() : QSet<QUuid>{item.id};

    if (chain.isPlaying(item.id))
        addAction(QStringLiteral("Stopp"), &chain, [&chain] { chain.stop(); });
    else
        addAction(QStringLiteral("Vorhören"), &chain, [&chain, item] { chain.play(item, 0); });

    const QString exportText = ids.size() == 1
                                   ? QStringLiteral("Nur diese exportieren")
                                   : QStringLiteral("Nur diese %1 exportieren").arg(ids.size());
    QAction* exportOnly = addAction(exportText, &session,
                                    [&session, &chain, ids] { session.startExport(chain, ids); });
    exportOnly->setEnabled(!session.exporting());

    addSeparator();
    if (item.status.isDone()) {
        const QString output = item.status.file().toLocalFile();
        addAction(QStringLiteral("Ergebnis im Dateimanager zeigen"), this,
                  [reveal, output] { reveal(output); });
    }
    const QString original = item.url.toLocalFile();
    addAction(QStringLiteral("Original im Dateimanager zeigen"), this,
              [reveal, original] { reveal(original); });

    addSeparator();
    addAction(QStringLiteral("Aus der Liste entfernen"), &session, [&session, ids] {
        session.setSelection(ids);
        session.removeSelected();
    });
}

} // namespace tolvex::ui::files
