#include "session/AlbumPasses.h"

#include <algorithm>

namespace tolvex::session {

render::RenderJob::AlbumPass AlbumPasses::begin(host::AudioHost& host, File file)
{
    auto scratch = host.leaseScratch(file.target.url.toLocalFile());
    render::RenderJob::AlbumPass pass{scratch->path()};
    m_entries.push_back({std::move(file), std::move(scratch), std::nullopt});
    return pass;
}

AlbumPasses::Entry* AlbumPasses::find(const QUuid& id)
{
    const auto found = std::find_if(m_entries.begin(), m_entries.end(),
                                    [&](const Entry& entry) { return entry.file.id == id; });
    return found == m_entries.end() ? nullptr : &*found;
}

void AlbumPasses::keep(const QUuid& id, const render::RenderResult::Kept& kept)
{
    if (Entry* entry = find(id))
        entry->kept = kept;
}

std::optional<AlbumPasses::File> AlbumPasses::leave(const QUuid& id)
{
    Entry* entry = find(id);
    if (!entry)
        return std::nullopt;
    File file = entry->file;
    m_entries.erase(m_entries.begin() + (entry - m_entries.data()));
    return file;
}

void AlbumPasses::fixGain(const model::LoudnessTarget& target)
{
    std::vector<model::AlbumShare> shares;
    for (const Entry& entry : m_entries)
        if (entry.kept)
            shares.push_back(entry.kept->share);
    m_gain = model::albumGain(shares, target);
}

std::optional<std::pair<AlbumPasses::File, render::RenderJob::AlbumPass>>
AlbumPasses::nextSecondPass()
{
    if (!m_gain)
        return std::nullopt;
    for (Entry& entry : m_entries)
        if (entry.kept && !entry.secondStarted) {
            entry.secondStarted = true;
            return std::pair(entry.file, render::RenderJob::AlbumPass{entry.scratch->path(), m_gain,
                                                                      entry.kept->channels});
        }
    return std::nullopt;
}

QList<QUuid> AlbumPasses::waiting() const
{
    QList<QUuid> ids;
    for (const Entry& entry : m_entries)
        if (entry.kept && !entry.secondStarted)
            ids << entry.file.id;
    return ids;
}

} // namespace tolvex::session
