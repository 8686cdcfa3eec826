#pragma once

#include "model/PluginState.h"
#include "presets/PresetDialogs.h"

#include <QObject>
#include <QStringList>

#include <optional>

namespace tolvex::chain {
class Chain;
}

namespace tolvex::presets {

/// Named chains, one chain document per file "<name>.json" in the preset
/// folder. Lives on the GUI thread. Failures the user must see go to the
/// chain's lastError.
class Presets : public QObject {
    Q_OBJECT
    Q_PROPERTY(QStringList names READ names NOTIFY namesChanged)

public:
    /// The folder under the user's data location: …/Tolvex/Ketten.
    static QString defaultFolder();
    /// Where the chain `name` is kept in `folder`.
    static QString pathIn(const QString& folder, const QString& name);
    /// The chain in the file at `path`; none when it cannot be read or is
    /// not a chain. The store and tolvex-cli read chains with it alike.
    static std::optional<QList<model::PluginState>> read(const QString& path);

    /// Lists `folder` (not created here). The prompt and the revealer may be
    /// null where they are not used.
    Presets(NamePrompt* prompt, FolderRevealer* revealer, QString folder = defaultFolder(),
            QObject* parent = nullptr);

    const QStringList& names() const { return m_names; }
    const QString& folder() const { return m_folder; }

    /// Re-reads the folder: its "*.json" files (case-sensitive), by name in
    /// natural order.
    void reload();
    /// Asks for a name and writes the chain under it, replacing a preset of
    /// that name. The file is replaced atomically: a failed write leaves the
    /// old preset whole.
    void saveCurrentChain(chain::Chain& chain);
    /// Reads the preset and has the chain load it; the chain fills itself
    /// asynchronously.
    void loadPreset(const QString& name, chain::Chain& chain);
    /// Creates the folder if need be and shows it in the file manager.
    void revealFolder();

Q_SIGNALS:
    void namesChanged();

private:
    QString pathOf(const QString& name) const;

    NamePrompt* m_prompt;
    FolderRevealer* m_revealer;
    QString m_folder;
    QStringList m_names;
};

} // namespace tolvex::presets
