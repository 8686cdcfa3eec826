#pragma once

#include <QList>
#include <QPair>
#include <QString>

namespace tolvex::host {

/// One parameter of a plugin instance, as a generic editor shows it.
struct PluginParameter {
    QString symbol; ///< stable identifier within the plugin
    QString name;
    QString unit; ///< e.g. "dB", "Hz"; empty when the plugin names none
    float minimum = 0;
    float maximum = 1;
    float defaultValue = 0;
    float value = 0; ///< current value
    bool integer = false;
    bool toggle = false;
    bool enumeration = false; ///< only the values of `labels` are meaningful
    bool logarithmic = false;
    bool output = false; ///< a value the plugin reports (latency, a meter), not one to set
    QList<QPair<float, QString>> labels; ///< named values, in the plugin's order
};

} // namespace tolvex::host
