#pragma once

#include <QMenu>

class QLineEdit;
class QWidgetAction;

namespace tolvex::chain {
class Chain;
}

namespace tolvex::ui::chain {

/// The chain panel's "Plugin hinzufügen" menu, built from the chain's
/// catalogue each time it opens: a section per vendor with its plugins, or
/// the single line "Keine Effekt-Plugins (LV2) gefunden". A filter field at
/// the top has the focus when the menu opens; typing narrows the list to the
/// plugins whose name or vendor holds every typed word, ignoring case and
/// accents, and Return takes the only match. Choosing a plugin adds it to
/// the chain and opens its editor.
///
/// It opens against its button (the parent widget): below it where it fits,
/// else on the side with more room, scrolling within it; the field at the
/// top and the list at its start, every time.
class AddPluginMenu : public QMenu {
    Q_OBJECT

public:
    explicit AddPluginMenu(::tolvex::chain::Chain& chain, QWidget* parent = nullptr);

    /// Builds the entries from the chain's catalogue, as opening does.
    void build();
    /// Builds the entries and opens against the button.
    void open();
    /// The filter field; null while the catalogue is empty.
    QLineEdit* filterField() const { return m_field; }
    /// The plugin entries the filter leaves visible, in menu order.
    QList<QAction*> visiblePlugins() const;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void addFilterField();
    void applyFilter(const QString& text);
    void takeSingleMatch();
    /// After filtering: as tall as the entries left, still against the button.
    void fitToEntries();
    /// Pops up against the button, on the side chosen when it opened.
    void place();

    struct Group {
        QAction* section;
        QList<QAction*> plugins;
    };

    ::tolvex::chain::Chain& m_chain;
    QWidgetAction* m_fieldAction = nullptr;
    QLineEdit* m_field = nullptr;
    QAction* m_noMatch = nullptr;
    QList<Group> m_groups;
    bool m_above = false; ///< opened above its button
};

} // namespace tolvex::ui::chain
