#include "chain/Slot.h"

namespace tolvex::chain {

Slot::Slot(model::PluginInfo info, std::unique_ptr<host::PluginInstance> unit, bool bypass,
           QObject* parent)
    : QObject(parent), m_id(QUuid::createUuid()), m_info(std::move(info)), m_unit(std::move(unit)),
      m_bypass(bypass)
{}

Slot::Slot(model::PluginState stored, QObject* parent)
    : QObject(parent), m_id(QUuid::createUuid()), m_info(stored.info()), m_bypass(stored.bypass),
      m_stored(std::move(stored))
{}

Slot::~Slot() = default;

QString Slot::problem() const
{
    return isUnavailable() ? cannotLoadMessage(m_info.name) : QString();
}

QString Slot::cannotLoadMessage(const QString& name)
{
    return u'„' + name + QStringLiteral("“ lässt sich nicht laden.");
}

void Slot::setBypass(bool bypass)
{
    if (isUnavailable())
        return;
    m_bypass = bypass;
    m_unit->setBypass(bypass);
    Q_EMIT bypassChanged(bypass);
}

void Slot::becomeLoaded(std::unique_ptr<host::PluginInstance> unit)
{
    m_unit = std::move(unit);
    m_stored.reset();
    m_unit->setBypass(m_bypass);
}

} // namespace tolvex::chain
