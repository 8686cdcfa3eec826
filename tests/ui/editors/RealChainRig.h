#pragma once

#include "chain/Chain.h"
#include "host/lv2/Lv2AudioHost.h"
#include "tests/support/Lv2TestSupport.h"
#include "ui/editors/EditorOpener.h"
#include "ui/editors/EditorPanel.h"

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

/// A chain on the real LV2 host with the editor windows installed, as the
/// application makes it, over settings of its own.
struct RealChainRig {
    QTemporaryDir dir;
    std::unique_ptr<tolvex::host::Lv2AudioHost> host =
        std::make_unique<tolvex::host::Lv2AudioHost>();
    QSettings settings{dir.filePath("settings.ini"), QSettings::IniFormat};
    std::unique_ptr<tolvex::chain::Chain> chain;

    RealChainRig()
    {
        chain = std::make_unique<tolvex::chain::Chain>(*host, settings);
        tolvex::ui::editors::installEditorOpener(*chain, nullptr);
    }
    ~RealChainRig() { chain.reset(); }

    /// Whether the plugin is installed: tests skip what is not, and fail
    /// when an installed plugin's panel does not come.
    bool installed(const char* uri) { return !tolvex::testing::lv2Info(*host, uri).name.isEmpty(); }

    /// Adds the installed plugin as the add menu does and returns its editor
    /// panel once shown; null when no panel came.
    tolvex::ui::editors::EditorPanel* open(const char* uri, int timeoutMs = 10000)
    {
        const tolvex::model::PluginInfo info = tolvex::testing::lv2Info(*host, uri);
        QCoro::waitFor(chain->addPlugin(info, std::nullopt, false, true));
        const QUuid id = chain->slots().last()->id();
        if (!QTest::qWaitFor([&] { return chain->hasEditor(id); }, timeoutMs))
            return nullptr;
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* panel = qobject_cast<tolvex::ui::editors::EditorPanel*>(widget);
                panel && panel->isVisible() && panel->windowTitle() == info.name)
                return panel;
        return nullptr;
    }
};
