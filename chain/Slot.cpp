#include "chain/Slot.h"

namespace tolvex::chain {

Slot::Slot(model::PluginInfo info, std::unique_ptr<host::PluginInstance> unit, bool bypass,
           QObject* parent)
    : QObject(parent), m_id(QUuid::createUuid()), m_info(std::move(info)), m_unit(std::move(unit)),
      m_bypass(bypass)
{}

Slot::~Slot() = default;

void Slot::setBypass(bool bypass)
{
    m_bypass = bypass;
    m_unit->setBypass(bypass);
    Q_EMIT bypassChanged(bypass);
}

} // namespace tolvex::chain
