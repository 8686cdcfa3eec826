#include "session/FileList.h"

#include <QFileInfo>

#include <algorithm>

namespace tolvex::session {

FileList::FileList(QObject* parent) : QAbstractListModel(parent)
{
    m_fold.setSingleShot(true);
    m_fold.setInterval(40);
    connect(&m_fold, &QTimer::timeout, this, &FileList::flush);
}

int FileList::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : count();
}

const model::AudioItem* FileList::item(int row) const
{
    return row >= 0 && row < m_items.size() ? &m_items[row] : nullptr;
}

bool FileList::contains(const QUrl& url) const
{
    return m_urls.contains(url);
}

QVariant FileList::data(const QModelIndex& index, int role) const
{
    const model::AudioItem* item = this->item(index.row());
    if (!item || index.parent().isValid() || index.column() != 0)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return QFileInfo(item->url.path()).fileName();
    case ItemRole:
        return QVariant::fromValue(*item);
    case IdRole:
        return item->id;
    default:
        return {};
    }
}

void FileList::append(QList<model::AudioItem> items)
{
    if (items.isEmpty())
        return;
    const int first = count();
    beginInsertRows({}, first, first + int(items.size()) - 1);
    for (model::AudioItem& item : items) {
        ++m_urls[item.url];
        m_items.append(std::move(item));
    }
    reindex(first);
    endInsertRows();
    Q_EMIT countChanged();
}

void FileList::removeIf(const std::function<bool(const model::AudioItem&)>& remove)
{
    flush(); // the rows announced so far keep their numbers
    bool removed = false;
    // Runs of adjacent rows from the back, so earlier rows keep their numbers.
    for (int last = count() - 1; last >= 0; --last) {
        if (!remove(m_items[last]))
            continue;
        int first = last;
        while (first > 0 && remove(m_items[first - 1]))
            --first;
        beginRemoveRows({}, first, last);
        for (int row = first; row <= last; ++row) {
            m_rows.remove(m_items[row].id);
            if (--m_urls[m_items[row].url] == 0)
                m_urls.remove(m_items[row].url);
        }
        m_items.remove(first, last - first + 1);
        reindex(first);
        endRemoveRows();
        removed = true;
        last = first;
    }
    if (removed)
        Q_EMIT countChanged();
}

void FileList::setStatus(int row, const model::Status& status)
{
    if (row < 0 || row >= count())
        return;
    m_items[row].status = status;
    m_dirty.insert(row);
    if (!m_fold.isActive())
        m_fold.start();
}

void FileList::flush()
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

void FileList::reindex(int from)
{
    for (int row = from; row < count(); ++row)
        m_rows.insert(m_items[row].id, row);
}

} // namespace tolvex::session
