#include "ui/editors/GenericEditor.h"

#include "ui/editors/ParameterSlider.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <cmath>

namespace tolvex::ui::editors {

namespace {
constexpr int pollInterval = 66; // ms: about 15 times a second
constexpr int meterPositions = 1000;
const QSize largestHint(720, 640);
} // namespace

struct GenericEditor::Control {
    enum class Kind { slider, check, combo, readout };
    Control(host::PluginParameter p, Kind k) : parameter(std::move(p)), scale(parameter), kind(k) {}

    host::PluginParameter parameter;
    ParameterScale scale;
    Kind kind;
    QSlider* slider = nullptr;
    QCheckBox* check = nullptr;
    QComboBox* combo = nullptr;
    QLabel* valueLabel = nullptr;
    QProgressBar* meter = nullptr;
    float shown = NAN;
};

GenericEditor::GenericEditor(host::PluginInstance& instance, QWidget* parent)
    : QScrollArea(parent), m_instance(instance)
{
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
    auto* content = new QWidget;
    auto* column = new QVBoxLayout(content);
    m_grid = new QGridLayout; // one grid: inputs and readouts align
    m_grid->setColumnStretch(1, 1);
    column->addLayout(m_grid);
    const QList<host::PluginParameter> parameters = instance.parameters();
    for (const host::PluginParameter& parameter : parameters)
        addInput(parameter);
    const QList<host::PluginParameter> outputs = instance.outputs();
    if (!outputs.isEmpty()) {
        auto* heading = new QLabel(tr("Vom Plugin gemeldet"));
        QFont font = heading->font();
        font.setBold(true);
        heading->setFont(font);
        if (!parameters.isEmpty())
            heading->setContentsMargins(0, heading->fontMetrics().height() / 2, 0, 0);
        m_grid->addWidget(heading, m_grid->rowCount(), 0, 1, 3);
        for (const host::PluginParameter& output : outputs)
            addOutput(output);
    }
    m_grid->setColumnMinimumWidth(2, m_valueWidth);
    if (parameters.isEmpty() && outputs.isEmpty())
        column->addWidget(new QLabel(tr("Dieses Plugin hat keine einstellbaren Parameter.")));
    column->addStretch(1);
    setWidget(content);
    m_poll.setInterval(pollInterval);
    connect(&m_poll, &QTimer::timeout, this, &GenericEditor::refresh);
    refresh();
}

GenericEditor::~GenericEditor() = default;

QSize GenericEditor::sizeHint() const
{
    QSize content = widget()->sizeHint() + QSize(2 * frameWidth(), 2 * frameWidth());
    if (content.height() > largestHint.height()) // it scrolls: room for the bar beside it
        content.rwidth() += verticalScrollBar()->sizeHint().width();
    return QSize(std::max(content.width(), 360), std::min(content.height(), largestHint.height()));
}

void GenericEditor::addRow(const QString& name, QWidget* control, QLabel* value)
{
    const int row = m_grid->rowCount();
    auto* label = new QLabel(name);
    m_grid->addWidget(label, row, 0);
    if (value) {
        m_grid->addWidget(control, row, 1);
        m_grid->addWidget(value, row, 2);
    } else {
        m_grid->addWidget(control, row, 1, 1, 2);
    }
}

void GenericEditor::addInput(const host::PluginParameter& parameter)
{
    using Kind = Control::Kind;
    const Kind kind = parameter.toggle                                       ? Kind::check
                      : parameter.enumeration && !parameter.labels.isEmpty() ? Kind::combo
                                                                             : Kind::slider;
    auto& control = *m_controls.emplace_back(std::make_unique<Control>(parameter, kind));
    QWidget* field = kind == Kind::check   ? makeCheckBox(control)
                     : kind == Kind::combo ? makeComboBox(control)
                                           : makeSlider(control);
    addRow(parameter.name, field, control.valueLabel);
    m_grid->itemAtPosition(m_grid->rowCount() - 1, 0)->widget()->setToolTip(parameter.symbol);
}

QWidget* GenericEditor::makeSlider(Control& control)
{
    auto* slider = new ParameterSlider;
    slider->setObjectName(control.parameter.symbol);
    slider->setRange(0, control.scale.maximumPosition());
    slider->setMinimumWidth(160);
    slider->setToolTip(tr("Doppelklick setzt auf %1 zurück.")
                           .arg(control.scale.text(control.parameter.defaultValue)));
    auto* value = new QLabel;
    value->setObjectName(control.parameter.symbol + QStringLiteral("-value"));
    value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    const QFontMetrics metrics(value->font());
    // The longest text the value takes: at its ends or at its default.
    for (const float shown :
         {control.parameter.minimum, control.parameter.maximum, control.parameter.defaultValue})
        m_valueWidth = std::max(m_valueWidth, metrics.horizontalAdvance(control.scale.text(shown)) +
                                                  metrics.averageCharWidth());
    control.slider = slider;
    control.valueLabel = value;
    connect(slider, &QSlider::valueChanged, this,
            [this, &control](int position) { apply(control, control.scale.value(position)); });
    connect(slider, &ParameterSlider::resetRequested, this,
            [this, &control] { apply(control, control.parameter.defaultValue); });
    return slider;
}

QWidget* GenericEditor::makeCheckBox(Control& control)
{
    auto* check = new QCheckBox;
    check->setObjectName(control.parameter.symbol);
    control.check = check;
    connect(check, &QCheckBox::toggled, this, [this, &control](bool on) {
        apply(control, on ? control.parameter.maximum : control.parameter.minimum);
    });
    return check;
}

QWidget* GenericEditor::makeComboBox(Control& control)
{
    auto* combo = new QComboBox;
    combo->setObjectName(control.parameter.symbol);
    for (const auto& [value, label] : control.parameter.labels)
        combo->addItem(label, double(value));
    control.combo = combo;
    connect(combo, &QComboBox::activated, this, [this, &control](int index) {
        apply(control, float(control.combo->itemData(index).toDouble()));
    });
    return combo;
}

void GenericEditor::addOutput(const host::PluginParameter& output)
{
    auto& control =
        *m_controls.emplace_back(std::make_unique<Control>(output, Control::Kind::readout));
    control.valueLabel = new QLabel;
    control.valueLabel->setObjectName(output.symbol);
    control.valueLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    control.valueLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    const QFontMetrics metrics(control.valueLabel->font());
    for (const float shown : {output.minimum, output.maximum})
        m_valueWidth = std::max(m_valueWidth, metrics.horizontalAdvance(control.scale.text(shown)) +
                                                  metrics.averageCharWidth());
    if (!output.toggle && !output.integer && output.maximum > output.minimum) {
        control.meter = new QProgressBar;
        control.meter->setRange(0, meterPositions);
        control.meter->setTextVisible(false);
        control.meter->setMaximumHeight(control.meter->fontMetrics().height() / 2 + 2);
        addRow(output.name, control.meter, control.valueLabel);
    } else {
        addRow(output.name, new QWidget, control.valueLabel);
    }
}

void GenericEditor::apply(Control& control, float value)
{
    m_instance.setParameter(control.parameter.symbol, value);
    const float taken = m_instance.value(control.parameter.symbol);
    display(control, std::isnan(taken) ? value : taken);
}

void GenericEditor::display(Control& control, float value)
{
    if (value == control.shown)
        return;
    control.shown = value;
    if (control.slider && !control.slider->isSliderDown()) {
        const QSignalBlocker blocker(control.slider);
        control.slider->setValue(control.scale.position(value));
    }
    if (control.check) {
        const QSignalBlocker blocker(control.check);
        control.check->setChecked(value >
                                  (control.parameter.minimum + control.parameter.maximum) / 2);
    }
    if (control.combo) {
        int nearest = 0;
        for (int i = 1; i < control.combo->count(); ++i)
            if (std::abs(control.parameter.labels[i].first - value) <
                std::abs(control.parameter.labels[nearest].first - value))
                nearest = i;
        const QSignalBlocker blocker(control.combo);
        control.combo->setCurrentIndex(nearest);
    }
    if (control.meter)
        control.meter->setValue(
            int(std::lround(control.scale.position(value) * double(meterPositions) /
                            control.scale.maximumPosition())));
    if (control.valueLabel)
        control.valueLabel->setText(control.scale.text(value));
}

void GenericEditor::refresh()
{
    for (auto& control : m_controls) {
        const float value = m_instance.value(control->parameter.symbol);
        if (!std::isnan(value))
            display(*control, value);
    }
}

void GenericEditor::showEvent(QShowEvent* event)
{
    QScrollArea::showEvent(event);
    refresh();
    m_poll.start();
}

void GenericEditor::hideEvent(QHideEvent* event)
{
    QScrollArea::hideEvent(event);
    m_poll.stop();
}

} // namespace tolvex::ui::editors
