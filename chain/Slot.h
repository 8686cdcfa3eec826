#pragma once

#include "host/PluginInstance.h"
#include "model/PluginInfo.h"
#include "model/PluginState.h"

#include <QObject>
#include <QUuid>

#include <memory>
#include <optional>

namespace tolvex::chain {

/// One entry of the chain. Lives on the GUI thread, owned by the Chain.
///
/// A slot is either loaded, with its plugin instance, or unavailable: its
/// stored entry could not be loaded (the plugin is not installed, or would
/// not instantiate). An unavailable slot keeps that entry exactly as it was
/// stored, state and bypass included, until its plugin loads again or the
/// user removes it; it has no plugin, takes no part in the sound and cannot
/// be switched.
class Slot : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool bypass READ bypass WRITE setBypass NOTIFY bypassChanged)

public:
    Slot(model::PluginInfo info, std::unique_ptr<host::PluginInstance> unit, bool bypass,
         QObject* parent = nullptr);
    /// An unavailable slot holding `stored`.
    explicit Slot(model::PluginState stored, QObject* parent = nullptr);
    ~Slot() override;

    const QUuid& id() const { return m_id; }
    /// The plugin's identity as it was requested; never re-read from the plugin.
    const model::PluginInfo& info() const { return m_info; }
    /// The plugin; only for a slot that is not unavailable.
    host::PluginInstance& unit() const { return *m_unit; }

    bool isUnavailable() const { return !m_unit; }
    /// The entry an unavailable slot keeps; nothing for a loaded one.
    const std::optional<model::PluginState>& storedEntry() const { return m_stored; }
    /// Why the slot is unavailable ("„X“ lässt sich nicht laden."); empty when it is loaded.
    QString problem() const;
    /// The chain's message for a plugin that does not load.
    static QString cannotLoadMessage(const QString& name);

    bool bypass() const { return m_bypass; }
    /// Stores the switch and sets the plugin's own bypass to it alone; the
    /// chain's compare mode is applied only by Chain::applyBypass. An
    /// unavailable slot keeps its stored switch: nothing happens.
    void setBypass(bool bypass);

    /// Gives an unavailable slot its plugin, which has taken the stored
    /// state already: the slot is loaded from now on, with the stored
    /// switch. Only the Chain calls this, and only for an unavailable slot.
    void becomeLoaded(std::unique_ptr<host::PluginInstance> unit);

Q_SIGNALS:
    void bypassChanged(bool bypass);

private:
    QUuid m_id;
    model::PluginInfo m_info;
    std::unique_ptr<host::PluginInstance> m_unit;
    bool m_bypass;
    std::optional<model::PluginState> m_stored; ///< only while unavailable
};

} // namespace tolvex::chain
