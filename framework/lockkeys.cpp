#include "lockkeys.h"

#include <QGuiApplication>

#ifdef FW_LOCKKEYS_XKB
#include <QAbstractNativeEventFilter>
#include <cstdlib>
#include <cstring>
#include <xcb/xcb.h>
// The header names a member `explicit`, a C++ keyword.
#define explicit explicit_member
#include <xcb/xkb.h>
#undef explicit
#endif

namespace fw {

#ifdef FW_LOCKKEYS_XKB

// Listens on the toolkit's own X connection for the keyboard extension's
// indicator events, so the lights cost nothing while they do not change.
class LockKeys::Listener : public QAbstractNativeEventFilter {
public:
    static std::unique_ptr<Listener> Open(LockKeys& owner)
    {
        const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
        xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
        if (!connection)
            return nullptr;
        const xcb_query_extension_reply_t* xkb = xcb_get_extension_data(connection, &xcb_xkb_id);
        if (!xkb || !xkb->present)
            return nullptr;
        return std::unique_ptr<Listener>(new Listener(owner, connection, xkb->first_event));
    }

    ~Listener() override { qGuiApp->removeNativeEventFilter(this); }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override
    {
        if (eventType != "xcb_generic_event_t")
            return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7f) != m_firstEvent)
            return false;
        const auto* indicators = static_cast<const xcb_xkb_indicator_state_notify_event_t*>(message);
        if (indicators->xkbType == XCB_XKB_INDICATOR_STATE_NOTIFY)
            m_owner.setState(stateOf(indicators->state));
        return false;  // the toolkit keeps its own use of the extension's events
    }

private:
    Listener(LockKeys& owner, xcb_connection_t* connection, uint8_t firstEvent)
        : m_owner(owner), m_connection(connection), m_firstEvent(firstEvent)
    {
        m_capsMask = maskOf("Caps Lock", 1u << 0);
        m_numMask = maskOf("Num Lock", 1u << 1);
        m_scrollMask = maskOf("Scroll Lock", 1u << 2);
        // Only the indicator events are added to what the toolkit selected.
        const xcb_xkb_select_events_details_t none{};
        xcb_xkb_select_events_aux(connection, XCB_XKB_ID_USE_CORE_KBD,
                                  XCB_XKB_EVENT_TYPE_INDICATOR_STATE_NOTIFY, 0,
                                  XCB_XKB_EVENT_TYPE_INDICATOR_STATE_NOTIFY, 0, 0, &none);
        qGuiApp->installNativeEventFilter(this);
        xcb_xkb_get_indicator_state_reply_t* lights = xcb_xkb_get_indicator_state_reply(
            connection, xcb_xkb_get_indicator_state(connection, XCB_XKB_ID_USE_CORE_KBD), nullptr);
        if (lights)
            m_owner.setState(stateOf(lights->state));
        std::free(lights);
    }

    // Keymaps number their lights freely; the names are what is fixed.
    uint32_t maskOf(const char* name, uint32_t usual) const
    {
        xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
            m_connection, xcb_intern_atom(m_connection, 1, uint16_t(std::strlen(name)), name),
            nullptr);
        uint32_t mask = usual;
        if (atom && atom->atom != XCB_ATOM_NONE) {
            xcb_xkb_get_named_indicator_reply_t* found = xcb_xkb_get_named_indicator_reply(
                m_connection,
                xcb_xkb_get_named_indicator(m_connection, XCB_XKB_ID_USE_CORE_KBD,
                                            XCB_XKB_LED_CLASS_DFLT_XI_CLASS,
                                            XCB_XKB_ID_DFLT_XI_ID, atom->atom),
                nullptr);
            if (found && found->found && found->ndx < 32)
                mask = 1u << found->ndx;
            std::free(found);
        }
        std::free(atom);
        return mask;
    }

    LockKeyState stateOf(uint32_t lights) const
    {
        return {(lights & m_capsMask) != 0, (lights & m_numMask) != 0,
                (lights & m_scrollMask) != 0};
    }

    LockKeys& m_owner;
    xcb_connection_t* m_connection;
    uint8_t m_firstEvent;
    uint32_t m_capsMask = 0;
    uint32_t m_numMask = 0;
    uint32_t m_scrollMask = 0;
};

LockKeys::LockKeys(QObject* parent) : QObject(parent)
{
    if (QGuiApplication::platformName() == QLatin1String("xcb"))
        m_listener = Listener::Open(*this);
}

#else

class LockKeys::Listener {};

LockKeys::LockKeys(QObject* parent) : QObject(parent) {}

#endif

LockKeys::~LockKeys() = default;

void LockKeys::setState(const LockKeyState& state)
{
    if (m_state == state)
        return;
    m_state = state;
    emit changed();
}

} // namespace fw
