#pragma once

#include "model/AudioItem.h"

#include <QAbstractListModel>
#include <QHash>
#include <QList>
#include <QSet>
#include <QTimer>
#include <QUuid>

#include <functional>

namespace tolvex::session {

/// The list of files as a Qt model: one row per item, in list order. It
/// announces its own changes as they happen: new items as inserted rows,
/// removed items as removed rows (a run of adjacent rows at a time, from the
/// back), status changes as changed rows. Status changes are folded: the
/// rows that changed are announced together at most once per fold interval
/// (40 ms), so an export's flood of progress reports costs a handful of
/// repaints a second; the data is new at once.
class FileList : public QAbstractListModel {
    Q_OBJECT
    Q_PROPERTY(int count READ count NOTIFY countChanged)

public:
    enum Role {
        ItemRole = Qt::UserRole + 1, ///< the AudioItem
        IdRole,                      ///< its id (QUuid)
    };

    explicit FileList(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    const QList<model::AudioItem>& items() const { return m_items; }
    int count() const { return int(m_items.size()); }
    /// The item in `row`, or null when the row is out of range.
    const model::AudioItem* item(int row) const;
    /// The row of the item with this id, or -1.
    int row(const QUuid& id) const { return m_rows.value(id, -1); }
    bool contains(const QUrl& url) const;

    /// Adds the items at the end.
    void append(QList<model::AudioItem> items);
    /// Removes the items `remove` is true for.
    void removeIf(const std::function<bool(const model::AudioItem&)>& remove);
    /// Sets the status of the item in `row`.
    void setStatus(int row, const model::Status& status);
    /// Announces the collected status changes now.
    void flush();

Q_SIGNALS:
    void countChanged();

private:
    void reindex(int from);

    QList<model::AudioItem> m_items;
    QHash<QUuid, int> m_rows;
    QHash<QUrl, int> m_urls; ///< how many items each location has
    QSet<int> m_dirty;       ///< rows whose change is not announced yet
    QTimer m_fold;
};

} // namespace tolvex::session

Q_DECLARE_METATYPE(tolvex::model::AudioItem)
