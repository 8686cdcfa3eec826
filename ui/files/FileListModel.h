#pragma once

#include "model/AudioItem.h"

#include <QAbstractListModel>
#include <QHash>
#include <QList>
#include <QSet>
#include <QTimer>
#include <QUuid>

namespace tolvex::session {
class Session;
}
namespace tolvex::chain {
class Chain;
}

namespace tolvex::ui::files {

/// The session's list as a Qt model: one row per item, in list order. Reads
/// the items from the session at every call; keeps only the row order it
/// last announced, so that views can be told which rows came and went.
/// Status changes of single items are folded: the rows that changed are
/// announced together at most once per fold interval, so an export's flood
/// of progress reports costs a handful of repaints a second.
class FileListModel : public QAbstractListModel {
    Q_OBJECT

public:
    enum Role {
        ItemRole = Qt::UserRole + 1, ///< the AudioItem
        IdRole,                      ///< its id (QUuid)
        PlayingRole,                 ///< whether the chain previews it (bool)
    };

    FileListModel(session::Session& session, tolvex::chain::Chain& chain,
                  QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    /// The item shown in `row`, or null when the row is out of range or the
    /// session's list has moved on and the model not yet.
    const model::AudioItem* item(int row) const;
    /// The row of the item with this id, or -1.
    int row(const QUuid& id) const { return m_rows.value(id, -1); }
    QUuid id(int row) const { return m_ids.value(row); }
    /// Announces the collected status changes now.
    void flush();

private:
    void itemsChanged();
    void itemChanged(const QUuid& id);
    void playingChanged();
    /// Announces the rows from `first` on as inserted, or false when the new
    /// list does not just extend the old one.
    bool appended(const QList<QUuid>& ids);
    /// Announces the vanished rows as removed, or false when the new list is
    /// not the old one with rows taken out.
    bool removed(const QList<QUuid>& ids);
    void reindex();

    session::Session& m_session;
    tolvex::chain::Chain& m_chain;
    QList<QUuid> m_ids; ///< the rows as last announced
    QHash<QUuid, int> m_rows;
    QSet<int> m_dirty;
    QTimer m_fold;
};

} // namespace tolvex::ui::files

Q_DECLARE_METATYPE(tolvex::model::AudioItem)
