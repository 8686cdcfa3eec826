#include "ui/editors/EditorOpener.h"

#include "chain/Chain.h"
#include "ui/editors/EditorPanel.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>

#include <algorithm>

namespace tolvex::ui::editors {

namespace {

/// The chain's hold on an open panel. Letting it go lets the panel's
/// contents go at once (the slot's plugin may follow right after) and the
/// panel itself once the event loop is back: it may be inside its own
/// close event.
class PanelWindow : public chain::EditorWindow {
public:
    explicit PanelWindow(EditorPanel* panel) : m_panel(panel) {}
    ~PanelWindow() override
    {
        if (m_panel) {
            m_panel->release();
            m_panel->hide();
            m_panel->deleteLater();
        }
    }
    void raise() override
    {
        if (m_panel)
            m_panel->bringToFront();
    }
    void close() override
    {
        if (m_panel)
            m_panel->close();
    }

private:
    QPointer<EditorPanel> m_panel;
};

void centre(EditorPanel& panel, QWidget* parentWindow)
{
    QScreen* screen = parentWindow ? parentWindow->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    panel.resizeOnScreen(panel.size());
    QRect frame(QPoint(), panel.size());
    frame.moveCenter(screen->availableGeometry().center());
    panel.move(frame.topLeft());
}

} // namespace

void showEditor(chain::Chain& chain, const QUuid& slotId, std::unique_ptr<host::EditorView> view,
                QWidget* parentWindow)
{
    const QList<chain::Slot*> slots = chain.slots();
    const auto slot = std::find_if(slots.begin(), slots.end(),
                                   [&](const chain::Slot* s) { return s->id() == slotId; });
    if (slot == slots.end() || (*slot)->isUnavailable() || chain.hasEditor(slotId))
        return;
    auto* panel =
        new EditorPanel((*slot)->unit(), (*slot)->info().name, std::move(view), parentWindow);
    panel->resize(panel->initialSize());
    centre(*panel, parentWindow);
    panel->setCloseHandler([chain = QPointer<chain::Chain>(&chain), slotId] {
        if (chain)
            chain->editorClosed(slotId);
    });
    chain.registerEditor(slotId, std::make_unique<PanelWindow>(panel));
    panel->bringToFront();
}

void installEditorOpener(chain::Chain& chain, QWidget* parentWindow)
{
    chain.setEditorOpener(
        [parent = QPointer<QWidget>(parentWindow)](chain::Chain& chain, chain::Slot& slot) {
            // The completion comes on another thread and only hands the view
            // over; the chain may be gone by the time it arrives.
            slot.unit().requestEditorView([chain = QPointer<chain::Chain>(&chain), id = slot.id(),
                                           parent](std::unique_ptr<host::EditorView> view) {
                auto handed = std::make_shared<std::unique_ptr<host::EditorView>>(std::move(view));
                QMetaObject::invokeMethod(
                    QCoreApplication::instance(),
                    [chain, id, parent, handed] {
                        if (chain)
                            showEditor(*chain, id, std::move(*handed), parent);
                    },
                    Qt::QueuedConnection);
            });
        });
}

} // namespace tolvex::ui::editors
