#include "presets/Presets.h"

#include "chain/Chain.h"
#include "model/ChainDocument.h"
#include "model/NaturalOrder.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

namespace tolvex::presets {

namespace {

/// Removes spaces and tabs at both ends; line breaks stay.
QString trimSpacesAndTabs(const QString& text)
{
    const auto blank = [](QChar c) { return c == u' ' || c == u'\t'; };
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && blank(text[begin]))
        ++begin;
    while (end > begin && blank(text[end - 1]))
        --end;
    return text.mid(begin, end - begin);
}

} // namespace

QString Presets::defaultFolder()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        .filePath(QStringLiteral("Tolvex/Ketten"));
}

Presets::Presets(NamePrompt* prompt, FolderRevealer* revealer, QString folder, QObject* parent)
    : QObject(parent), m_prompt(prompt), m_revealer(revealer), m_folder(std::move(folder))
{
    reload();
}

QString Presets::pathIn(const QString& folder, const QString& name)
{
    return QDir(folder).filePath(name + QStringLiteral(".json"));
}

std::optional<QList<model::PluginState>> Presets::read(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return model::decodeChain(file.readAll());
}

QString Presets::pathOf(const QString& name) const
{
    return pathIn(m_folder, name);
}

void Presets::reload()
{
    QStringList names;
    const QDir folder(m_folder);
    for (const QString& entry : folder.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (entry.endsWith(QStringLiteral(".json"), Qt::CaseSensitive) && entry.size() > 5)
            names.append(entry.chopped(5));
    }
    model::naturalSort(names);
    m_names = names;
    Q_EMIT namesChanged();
}

void Presets::saveCurrentChain(chain::Chain& chain)
{
    if (chain.slots().isEmpty() || !m_prompt)
        return;
    const std::optional<QString> answer = m_prompt->askName();
    if (!answer)
        return;
    const QString name = trimSpacesAndTabs(*answer).replace(u'/', u'-');
    if (name.isEmpty())
        return;

    const auto failed = [&] {
        chain.setLastError(QStringLiteral("Kette konnte nicht gespeichert werden."));
    };
    if (!QDir().mkpath(m_folder)) {
        failed();
        return;
    }
    QList<model::PluginState> states;
    for (const chain::Slot* slot : chain.slots())
        states.append(chain.captureState(*slot));
    const QByteArray document = model::encodeChain(states);

    // Written beside the target and renamed over it: a full disk or a crash
    // midway leaves the preset it replaces intact.
    QSaveFile file(pathOf(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(document) != document.size() ||
        !file.commit()) {
        failed();
        return;
    }
    reload();
}

void Presets::loadPreset(const QString& name, chain::Chain& chain)
{
    auto states = read(pathOf(name));
    if (!states) {
        chain.setLastError(QStringLiteral("Kette „") + name +
                           QStringLiteral("“ lässt sich nicht lesen."));
        return;
    }
    chain.load(std::move(*states));
}

void Presets::revealFolder()
{
    QDir().mkpath(m_folder); // a failure is ignored; the reveal is asked for anyway
    if (m_revealer)
        m_revealer->reveal(m_folder);
}

} // namespace tolvex::presets
