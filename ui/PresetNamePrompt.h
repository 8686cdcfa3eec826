#pragma once

#include "presets/PresetDialogs.h"

class QWidget;

namespace tolvex::ui {

/// The modal prompt for a preset's name.
class PresetNamePrompt : public presets::NamePrompt {
public:
    explicit PresetNamePrompt(QWidget* parent = nullptr) : m_parent(parent) {}
    std::optional<QString> askName() override;

private:
    QWidget* m_parent;
};

} // namespace tolvex::ui
