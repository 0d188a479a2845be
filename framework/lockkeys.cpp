#include "lockkeys.h"

#include <QGuiApplication>

#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
#define FW_LOCKKEYS_XKB 1
#include <dlfcn.h>
#endif

namespace fw {

class LockKeys::Source {
public:
    virtual ~Source() = default;
    virtual std::optional<LockKeyState> Read() = 0;
};

namespace {

#ifdef FW_LOCKKEYS_XKB
// Asks the X server's keyboard extension for its indicator lights. libX11 is
// opened at run time so the program neither needs its headers to build nor
// the library to start on a system without X (Wayland-only, offscreen).
class XkbSource : public LockKeys::Source {
public:
    static std::unique_ptr<XkbSource> Open()
    {
        auto source = std::unique_ptr<XkbSource>(new XkbSource);
        return source->m_display ? std::move(source) : nullptr;
    }

    ~XkbSource() override
    {
        if (m_display)
            m_closeDisplay(m_display);
        if (m_library)
            ::dlclose(m_library);
    }

    std::optional<LockKeyState> Read() override
    {
        unsigned int lights = 0;
        if (m_getIndicatorState(m_display, kUseCoreKeyboard, &lights) != kSuccess)
            return std::nullopt;
        return LockKeyState{(lights & m_capsMask) != 0, (lights & m_numMask) != 0,
                            (lights & m_scrollMask) != 0};
    }

private:
    // Opaque stand-ins for the Xlib types; only pointers and integers cross.
    using Display = void;
    using Atom = unsigned long;
    using OpenDisplayFn = Display* (*)(const char*);
    using CloseDisplayFn = int (*)(Display*);
    using InternAtomFn = Atom (*)(Display*, const char*, int);
    using GetIndicatorStateFn = int (*)(Display*, unsigned int, unsigned int*);
    using GetNamedIndicatorFn = int (*)(Display*, Atom, int*, int*, void*, int*);

    static constexpr unsigned int kUseCoreKeyboard = 0x0100;
    static constexpr int kSuccess = 0;

    XkbSource()
    {
        m_library = ::dlopen("libX11.so.6", RTLD_LAZY | RTLD_LOCAL);
        if (!m_library)
            return;
        auto* openDisplay = reinterpret_cast<OpenDisplayFn>(::dlsym(m_library, "XOpenDisplay"));
        m_closeDisplay = reinterpret_cast<CloseDisplayFn>(::dlsym(m_library, "XCloseDisplay"));
        auto* internAtom = reinterpret_cast<InternAtomFn>(::dlsym(m_library, "XInternAtom"));
        m_getIndicatorState =
            reinterpret_cast<GetIndicatorStateFn>(::dlsym(m_library, "XkbGetIndicatorState"));
        auto* getNamedIndicator =
            reinterpret_cast<GetNamedIndicatorFn>(::dlsym(m_library, "XkbGetNamedIndicator"));
        if (!openDisplay || !m_closeDisplay || !internAtom || !m_getIndicatorState
            || !getNamedIndicator)
            return;
        // A connection of our own: the toolkit's may be XCB-only.
        m_display = openDisplay(nullptr);
        if (!m_display)
            return;
        // Keymaps number their lights freely; the names are what is fixed.
        const auto maskOf = [&](const char* name, unsigned int usual) {
            int index = -1;
            const Atom atom = internAtom(m_display, name, 1);
            if (atom != 0 && getNamedIndicator(m_display, atom, &index, nullptr, nullptr, nullptr)
                && index >= 0 && index < 32)
                return 1u << index;
            return usual;
        };
        m_capsMask = maskOf("Caps Lock", 1u << 0);
        m_numMask = maskOf("Num Lock", 1u << 1);
        m_scrollMask = maskOf("Scroll Lock", 1u << 2);
    }

    void* m_library = nullptr;
    Display* m_display = nullptr;
    CloseDisplayFn m_closeDisplay = nullptr;
    GetIndicatorStateFn m_getIndicatorState = nullptr;
    unsigned int m_capsMask = 0;
    unsigned int m_numMask = 0;
    unsigned int m_scrollMask = 0;
};
#endif

std::unique_ptr<LockKeys::Source> OpenSource()
{
#ifdef FW_LOCKKEYS_XKB
    if (QGuiApplication::platformName() == QLatin1String("xcb"))
        return XkbSource::Open();
#endif
    return nullptr;
}

} // namespace

LockKeys::LockKeys(QObject* parent) : QObject(parent), m_source(OpenSource())
{
    if (!m_source)
        return;
    m_state = m_source->Read();
    m_timer.setInterval(kPollIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &LockKeys::poll);
    m_timer.start();
}

LockKeys::~LockKeys() = default;

void LockKeys::poll()
{
    const std::optional<LockKeyState> state = m_source->Read();
    if (state == m_state)
        return;
    m_state = state;
    emit changed();
}

} // namespace fw
