#include "ui/files/FileListModel.h"

#include "chain/Chain.h"
#include "session/Session.h"

#include <QFileInfo>

#include <algorithm>

namespace tolvex::ui::files {

FileListModel::FileListModel(session::Session& session, tolvex::chain::Chain& chain,
                             QObject* parent)
    : QAbstractListModel(parent), m_session(session), m_chain(chain)
{
    m_fold.setSingleShot(true);
    m_fold.setInterval(40);
    connect(&m_fold, &QTimer::timeout, this, &FileListModel::flush);
    connect(&session, &session::Session::itemsChanged, this, &FileListModel::itemsChanged);
    connect(&session, &session::Session::itemChanged, this, &FileListModel::itemChanged);
    connect(&chain, &tolvex::chain::Chain::playingIDChanged, this, &FileListModel::playingChanged);
    for (const model::AudioItem& item : session.items())
        m_ids.append(item.id);
    reindex();
}

int FileListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_ids.size());
}

const model::AudioItem* FileListModel::item(int row) const
{
    const QList<model::AudioItem>& items = m_session.items();
    if (row < 0 || row >= m_ids.size() || row >= items.size() || items[row].id != m_ids[row])
        return nullptr;
    return &items[row];
}

QVariant FileListModel::data(const QModelIndex& index, int role) const
{
    const model::AudioItem* item = this->item(index.row());
    if (!item)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return QFileInfo(item->url.path()).fileName();
    case ItemRole:
        return QVariant::fromValue(*item);
    case IdRole:
        return item->id;
    case PlayingRole:
        return m_chain.isPlaying(item->id);
    default:
        return {};
    }
}

void FileListModel::itemsChanged()
{
    QList<QUuid> ids;
    ids.reserve(m_session.items().size());
    for (const model::AudioItem& item : m_session.items())
        ids.append(item.id);
    if (ids == m_ids)
        return;
    m_dirty.clear();
    if (!appended(ids) && !removed(ids)) {
        beginResetModel();
        m_ids = ids;
        reindex();
        endResetModel();
    }
}

bool FileListModel::appended(const QList<QUuid>& ids)
{
    const qsizetype old = m_ids.size();
    if (ids.size() <= old || !std::equal(m_ids.begin(), m_ids.end(), ids.begin()))
        return false;
    beginInsertRows({}, int(old), int(ids.size() - 1));
    m_ids = ids;
    reindex();
    endInsertRows();
    return true;
}

bool FileListModel::removed(const QList<QUuid>& ids)
{
    // The new list must be the old one with some rows taken out.
    QList<int> gone;
    qsizetype kept = 0;
    for (int row = 0; row < m_ids.size(); ++row) {
        if (kept < ids.size() && ids[kept] == m_ids[row])
            ++kept;
        else
            gone.append(row);
    }
    if (kept != ids.size())
        return false;
    // Remove runs of adjacent rows from the back, so earlier rows keep their numbers.
    for (qsizetype i = gone.size(); i > 0;) {
        const int last = gone[--i];
        int first = last;
        while (i > 0 && gone[i - 1] == first - 1)
            first = gone[--i];
        beginRemoveRows({}, first, last);
        m_ids.remove(first, last - first + 1);
        endRemoveRows();
    }
    reindex();
    return true;
}

void FileListModel::reindex()
{
    m_rows.clear();
    m_rows.reserve(m_ids.size());
    for (int row = 0; row < m_ids.size(); ++row)
        m_rows.insert(m_ids[row], row);
}

void FileListModel::itemChanged(const QUuid& id)
{
    const int row = this->row(id);
    if (row < 0)
        return;
    m_dirty.insert(row);
    if (!m_fold.isActive())
        m_fold.start();
}

void FileListModel::flush()
{
    m_fold.stop();
    if (m_dirty.isEmpty())
        return;
    const auto [low, high] = std::minmax_element(m_dirty.begin(), m_dirty.end());
    const int first = *low;
    const int last = *high;
    // Adjacent rows (the usual case: one file at a time) go as one range.
    if (last - first + 1 == m_dirty.size()) {
        Q_EMIT dataChanged(index(first), index(last), {ItemRole});
    } else {
        for (const int row : std::as_const(m_dirty))
            Q_EMIT dataChanged(index(row), index(row), {ItemRole});
    }
    m_dirty.clear();
}

void FileListModel::playingChanged()
{
    if (!m_ids.isEmpty())
        Q_EMIT dataChanged(index(0), index(int(m_ids.size()) - 1), {PlayingRole});
}

} // namespace tolvex::ui::files
