#include "host/lv2/Lv2EditorView.h"

#include "host/lv2/Lv2ExternalUi.h"
#include "host/lv2/Lv2Instance.h"

#include <lv2/atom/atom.h>
#include <lv2/data-access/data-access.h>
#include <lv2/instance-access/instance-access.h>
#include <lv2/log/log.h>
#include <lv2/options/options.h>
#include <lv2/parameters/parameters.h>
#include <lv2/ui/ui.h>
#include <suil/suil.h>

#include <cmath>
#include <cstring>

namespace tolvex::host {

namespace {

template <typename T, void (*Free)(T*)>
struct SuilFree {
    void operator()(T* handle) const { Free(handle); }
};
using SuilHostPtr = std::unique_ptr<SuilHost, SuilFree<SuilHost, suil_host_free>>;
using SuilInstancePtr = std::unique_ptr<SuilInstance, SuilFree<SuilInstance, suil_instance_free>>;

int logPrintf(LV2_Log_Handle, LV2_URID, const char*, ...)
{
    return 0;
}
int logVprintf(LV2_Log_Handle, LV2_URID, const char*, va_list)
{
    return 0;
}

} // namespace

/// What the interface holds while it lives: the features it was given and
/// the suil handles. The instance goes before the host (member order).
struct Lv2EditorView::Guest {
    explicit Guest(Lv2EditorView& view) : resize{&view, &Lv2EditorView::Guest::uiResize} {}

    static void write(SuilController view, uint32_t port, uint32_t size, uint32_t protocol,
                      const void* buffer)
    {
        static_cast<Lv2EditorView*>(view)->write(port, size, protocol, buffer);
    }
    static uint32_t portIndex(SuilController view, const char* symbol)
    {
        const int index = static_cast<Lv2EditorView*>(view)->m_instance.ports().indexOf(symbol);
        return index < 0 ? LV2UI_INVALID_PORT_INDEX : uint32_t(index);
    }
    static int uiResize(LV2UI_Feature_Handle view, int width, int height)
    {
        static_cast<Lv2EditorView*>(view)->setPreferred(width, height);
        return 0;
    }
    static void uiClosed(LV2UI_Controller view)
    {
        auto* self = static_cast<Lv2EditorView*>(view);
        self->m_closed = true;
        self->m_shown = false;
    }

    LV2UI_Resize resize;
    LV2_External_UI_Host external{&Guest::uiClosed, nullptr};
    LV2_Extension_Data_Feature dataAccess{nullptr};
    LV2_Log_Log log{nullptr, &logPrintf, &logVprintf};
    float sampleRate = 48000, updateRate = 30;
    std::vector<LV2_Options_Option> options;
    std::vector<LV2_Feature> features;
    std::vector<const LV2_Feature*> list;
    std::string humanId;

    SuilHostPtr host;
    SuilInstancePtr instance;
    const LV2UI_Idle_Interface* idle = nullptr;
    const LV2UI_Show_Interface* show = nullptr;
    const LV2UI_Resize* uiResizeInterface = nullptr;
    LV2_External_UI_Widget* widget = nullptr;
};

Lv2EditorView::Lv2EditorView(Lv2Instance& instance, Lv2UiChoice choice)
    : m_instance(instance), m_choice(std::move(choice))
{}

Lv2EditorView::~Lv2EditorView()
{
    if (!m_guest)
        return;
    if (m_shown)
        hide();
    m_instance.uiLink().setListening(false);
    m_guest.reset();
}

bool Lv2EditorView::create(quintptr parentWindow)
{
    if (m_guest)
        return true;
    Lv2World& world = m_instance.world();
    auto guest = std::make_unique<Guest>(*this);
    Guest& g = *guest;
    m_eventTransfer = world.urid(LV2_ATOM__eventTransfer);
    m_atomTransfer = world.urid(LV2_ATOM__atomTransfer);
    g.sampleRate = float(m_instance.sampleRate());
    g.humanId = world.info(m_instance.plugin()).name.toStdString();
    g.external.plugin_human_id = g.humanId.c_str();
    g.options = {
        {LV2_OPTIONS_INSTANCE, 0, world.urid(LV2_PARAMETERS__sampleRate), sizeof(float),
         world.urid(LV2_ATOM__Float), &g.sampleRate},
        {LV2_OPTIONS_INSTANCE, 0, world.urid(LV2_UI__updateRate), sizeof(float),
         world.urid(LV2_ATOM__Float), &g.updateRate},
        {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr},
    };
    g.features = {
        {LV2_URID__map, world.map()},     {LV2_URID__unmap, world.unmap()},
        {LV2_UI__resize, &g.resize},      {LV2_OPTIONS__options, g.options.data()},
        {LV2_UI__idleInterface, nullptr}, {LV2_LOG__log, &g.log},
    };
    if (embedded())
        g.features.push_back({LV2_UI__parent, reinterpret_cast<void*>(parentWindow)});
    if (m_choice.kind == Lv2UiChoice::Kind::external) {
        g.features.push_back({LV2_EXTERNAL_UI__Host, &g.external});
        g.features.push_back({LV2_EXTERNAL_UI_DEPRECATED_URI, &g.external});
    }
    LilvInstance* live = m_instance.liveInstance();
    if (m_choice.instanceAccess || m_choice.dataAccess)
        m_reachedInto = live;
    if (m_choice.instanceAccess && live)
        g.features.push_back({LV2_INSTANCE_ACCESS_URI, lilv_instance_get_handle(live)});
    if (m_choice.dataAccess && live) {
        g.dataAccess.data_access = lilv_instance_get_descriptor(live)->extension_data;
        g.features.push_back({LV2_DATA_ACCESS_URI, &g.dataAccess});
    }
    for (const LV2_Feature& feature : g.features)
        g.list.push_back(&feature);
    g.list.push_back(nullptr);

    m_told.assign(m_instance.ports().size(), NAN);
    g.host.reset(suil_host_new(&Guest::write, &Guest::portIndex, nullptr, nullptr));
    const char* container = embedded() ? LV2_UI__X11UI : m_choice.typeUri.c_str();
    g.instance.reset(suil_instance_new(g.host.get(), this, container, m_choice.pluginUri.c_str(),
                                       m_choice.uiUri.c_str(), m_choice.typeUri.c_str(),
                                       m_choice.bundlePath.c_str(), m_choice.binaryPath.c_str(),
                                       g.list.data()));
    if (!g.instance)
        return false;
    const auto extension = [&](const char* uri) {
        return suil_instance_extension_data(g.instance.get(), uri);
    };
    g.idle = static_cast<const LV2UI_Idle_Interface*>(extension(LV2_UI__idleInterface));
    g.show = static_cast<const LV2UI_Show_Interface*>(extension(LV2_UI__showInterface));
    g.uiResizeInterface = static_cast<const LV2UI_Resize*>(extension(LV2_UI__resize));
    if (m_choice.kind == Lv2UiChoice::Kind::external)
        g.widget = static_cast<LV2_External_UI_Widget*>(suil_instance_get_widget(g.instance.get()));
    if ((m_choice.kind == Lv2UiChoice::Kind::external && !g.widget) ||
        (m_choice.kind == Lv2UiChoice::Kind::showInterface && !g.show))
        return false;
    m_guest = std::move(guest);
    m_instance.uiLink().setListening(true);
    sendControls(true);
    return true;
}

void Lv2EditorView::setPreferred(int width, int height)
{
    if (width <= 0 || height <= 0)
        return;
    const QSize size(width, height);
    if (size == m_preferred)
        return;
    m_preferred = size;
    requestResize(size);
}

void Lv2EditorView::resize(const QSize& size)
{
    if (m_guest && m_guest->uiResizeInterface && m_guest->uiResizeInterface->ui_resize)
        m_guest->uiResizeInterface->ui_resize(suil_instance_get_handle(m_guest->instance.get()),
                                              size.width(), size.height());
}

void Lv2EditorView::show()
{
    if (!m_guest)
        return;
    if (m_guest->widget)
        m_guest->widget->show(m_guest->widget);
    else if (m_guest->show)
        m_guest->show->show(suil_instance_get_handle(m_guest->instance.get()));
    m_shown = true;
    m_closed = false;
}

void Lv2EditorView::hide()
{
    if (!m_guest)
        return;
    if (m_guest->widget)
        m_guest->widget->hide(m_guest->widget);
    else if (m_guest->show)
        m_guest->show->hide(suil_instance_get_handle(m_guest->instance.get()));
    m_shown = false;
}

bool Lv2EditorView::idle()
{
    if (!m_guest)
        return false;
    if (m_reachedInto && m_reachedInto != m_instance.liveInstance()) {
        // The plugin was made anew (another rate): an interface that
        // reached into the old one must not run on; it goes, as if closed.
        m_instance.uiLink().setListening(false);
        m_guest.reset();
        m_shown = false;
        m_closed = true;
        return false;
    }
    SuilInstance* ui = m_guest->instance.get();
    const LV2_URID eventTransfer = m_eventTransfer;
    m_instance.uiLink().receive([ui, eventTransfer](uint32_t port, const LV2_Atom& atom) {
        suil_instance_port_event(ui, port, uint32_t(sizeof(LV2_Atom) + atom.size), eventTransfer,
                                 &atom);
    });
    sendControls(m_instance.ports().changes() != m_targetChanges);
    if (m_guest->idle && m_guest->idle->idle(suil_instance_get_handle(ui)) != 0)
        m_closed = true;
    if (m_guest->widget && m_shown)
        m_guest->widget->run(m_guest->widget);
    return !m_closed;
}

void Lv2EditorView::sendControls(bool inputsToo)
{
    const Lv2Ports& ports = m_instance.ports();
    if (inputsToo) {
        m_targetChanges = ports.changes(); // before the targets: a later change is seen next time
        for (uint32_t port : ports.controlInputs())
            sendValue(port, ports.target(port));
    }
    for (uint32_t port : ports.controlOutputs())
        sendValue(port, ports.reported(port));
}

void Lv2EditorView::sendValue(uint32_t port, float value)
{
    if (m_told[port] == value)
        return;
    m_told[port] = value;
    if (m_guest)
        suil_instance_port_event(m_guest->instance.get(), port, sizeof(float), 0, &value);
}

void Lv2EditorView::write(uint32_t port, uint32_t size, uint32_t protocol, const void* buffer)
{
    Lv2Ports& ports = m_instance.ports();
    if (port >= m_told.size() || !buffer)
        return;
    if (protocol == 0) {
        if (size != sizeof(float))
            return;
        float value = 0;
        std::memcpy(&value, buffer, sizeof(value));
        if (ports.setTarget(int(port), value))
            m_told[port] = ports.target(port); // the interface knows it; no echo
        return;
    }
    const bool atom = protocol == m_eventTransfer || protocol == m_atomTransfer;
    if (!atom || size < sizeof(LV2_Atom))
        return;
    LV2_Atom header;
    std::memcpy(&header, buffer, sizeof(header));
    if (sizeof(LV2_Atom) + header.size <= size)
        m_instance.uiLink().sendToPlugin(port, *static_cast<const LV2_Atom*>(buffer));
}

} // namespace tolvex::host
