#pragma once

#include "host/EditorView.h"
#include "host/lv2/Lv2UiChoice.h"

#include <QSize>

#include <cstdint>
#include <memory>
#include <vector>

namespace tolvex::host {

class Lv2Instance;

/// A plugin's own LV2 interface, loaded through suil: an X11 interface
/// embedded in a window of the host's, or one with a window of its own. The
/// interface writes control ports as the ports' targets and atom messages
/// through the instance's UI link; idle() hands it the plugin's control
/// outputs, changed targets and notifications. GUI thread only; goes before
/// its instance.
class Lv2EditorView : public EditorView {
public:
    Lv2EditorView(Lv2Instance& instance, Lv2UiChoice choice);
    ~Lv2EditorView() override;

    bool embedded() const override { return m_choice.kind == Lv2UiChoice::Kind::embedded; }
    bool create(quintptr parentWindow) override;
    QSize preferredSize() const override { return m_preferred; }
    void resize(const QSize& size) override;
    void show() override;
    void hide() override;
    bool idle() override;

    /// The interface's write function, as the interface calls it: a control
    /// value (protocol 0) or an atom (protocol: the URID of
    /// atom:eventTransfer or atom:atomTransfer).
    void write(uint32_t port, uint32_t size, uint32_t protocol, const void* buffer);

private:
    struct Guest; ///< the suil handles and the features the interface holds
    /// Sends the interface every control value that differs from what it
    /// was last told.
    void sendControls(bool inputsToo);
    void sendValue(uint32_t port, float value);
    void setPreferred(int width, int height);

    Lv2Instance& m_instance;
    Lv2UiChoice m_choice;
    std::unique_ptr<Guest> m_guest;
    QSize m_preferred;
    std::vector<float> m_told; ///< per port: the value the interface knows; NaN: none
    quint64 m_targetChanges = ~quint64(0);
    const void* m_reachedInto = nullptr; ///< the copy an interface with instance access got
    uint32_t m_eventTransfer = 0, m_atomTransfer = 0; ///< URIDs of the atom protocols
    bool m_shown = false;
    bool m_closed = false;
};

} // namespace tolvex::host
