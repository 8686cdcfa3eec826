#pragma once

#include "host/PluginInstance.h"
#include "model/PluginInfo.h"

#include <QObject>
#include <QUuid>

#include <memory>

namespace tolvex::chain {

/// One plugin in the chain. Lives on the GUI thread, owned by the Chain.
class Slot : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool bypass READ bypass WRITE setBypass NOTIFY bypassChanged)

public:
    Slot(model::PluginInfo info, std::unique_ptr<host::PluginInstance> unit, bool bypass,
         QObject* parent = nullptr);
    ~Slot() override;

    const QUuid& id() const { return m_id; }
    /// The plugin's identity as it was requested; never re-read from the plugin.
    const model::PluginInfo& info() const { return m_info; }
    host::PluginInstance& unit() const { return *m_unit; }

    bool bypass() const { return m_bypass; }
    /// Stores the switch and sets the plugin's own bypass to it alone; the
    /// chain's compare mode is applied only by Chain::applyBypass.
    void setBypass(bool bypass);

Q_SIGNALS:
    void bypassChanged(bool bypass);

private:
    QUuid m_id;
    model::PluginInfo m_info;
    std::unique_ptr<host::PluginInstance> m_unit;
    bool m_bypass;
};

} // namespace tolvex::chain
