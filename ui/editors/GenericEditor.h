#pragma once

#include "host/PluginInstance.h"
#include "ui/editors/ParameterScale.h"

#include <QScrollArea>
#include <QTimer>

#include <memory>
#include <vector>

class QGridLayout;
class QLabel;
class QProgressBar;

namespace tolvex::ui::editors {

/// The generic parameter view of a plugin: every parameter as the control
/// its kind asks for (a slider with its value and unit, a check box for a
/// switch, a list of named values), then the values the plugin reports,
/// read only. A control changes the running plugin at once. While visible,
/// the view reads the plugin's values about 15 times a second, so changes
/// made elsewhere (the plugin's own interface) and meters show. Each
/// control is named after its parameter's symbol, a slider's value
/// "SYMBOL-value".
///
/// The rows are a grid: names, controls of one length, and values in a
/// column as wide as the longest value any row can show, beside the
/// vertical scroll bar, never under it.
class GenericEditor : public QScrollArea {
    Q_OBJECT

public:
    /// `instance` outlives the view.
    explicit GenericEditor(host::PluginInstance& instance, QWidget* parent = nullptr);
    ~GenericEditor() override;

    QSize sizeHint() const override;
    /// Shows the plugin's current values; the poll calls it.
    void refresh();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    struct Control;
    void addInput(const host::PluginParameter& parameter);
    void addOutput(const host::PluginParameter& parameter);
    /// Puts a row in the grid: a control without a value takes both columns.
    void addRow(const QString& name, QWidget* control, QLabel* value);
    QWidget* makeSlider(Control& control);
    QWidget* makeCheckBox(Control& control);
    QWidget* makeComboBox(Control& control);
    /// Sets the plugin's parameter and shows the value it took.
    void apply(Control& control, float value);
    void display(Control& control, float value);

    host::PluginInstance& m_instance;
    std::vector<std::unique_ptr<Control>> m_controls;
    QGridLayout* m_grid = nullptr;
    int m_valueWidth = 0; ///< the longest value text, in pixels
    QTimer m_poll;
};

} // namespace tolvex::ui::editors
