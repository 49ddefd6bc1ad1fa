#include "platform/x11/X11Platform.h"

#include "core/model/DebugLog.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QList>
#include <QObject>
#include <QTimer>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <cstdlib>
#include <cstring>

namespace {

using X11Platform::qtConnection;

constexpr xcb_keysym_t keysymN = 0x006e;
constexpr xcb_keysym_t keysymNumLock = 0xff7f;
constexpr uint16_t controlAlt = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1;
constexpr uint8_t xkbNewKeyboardNotify = 0;
constexpr uint8_t xkbMapNotify = 1;

QList<xcb_keycode_t> keycodesOf(xcb_key_symbols_t* symbols, xcb_keysym_t keysym) {
    QList<xcb_keycode_t> codes;
    if (xcb_keycode_t* found = xcb_key_symbols_get_keycode(symbols, keysym)) {
        for (const xcb_keycode_t* code = found; *code != XCB_NO_SYMBOL; ++code)
            codes.append(*code);
        std::free(found);
    }
    return codes;
}

struct KeyboardMap {
    QList<xcb_keycode_t> codes;
    uint16_t numLock = XCB_MOD_MASK_2;
    bool operator==(const KeyboardMap&) const = default;
};

struct Combo {
    xcb_keycode_t code = 0;
    uint16_t modifiers = 0;
    bool operator==(const Combo&) const = default;
};

class X11KeyGrab final : public KeyGrab, public QAbstractNativeEventFilter {
public:
    X11KeyGrab()
        : m_connection(qtConnection()) {
        if (!m_connection)
            return;
        m_root = rootOfQtScreen();
        // With XKB in use (Qt uses it) a changed layout arrives as XKB events rather than as the core
        // MappingNotify; all XKB events share the extension's first event code.
        xcb_query_extension_reply_t* xkb = xcb_query_extension_reply(
            m_connection, xcb_query_extension(m_connection, uint16_t(std::strlen("XKEYBOARD")), "XKEYBOARD"),
            nullptr);
        if (xkb && xkb->present)
            m_xkbEvent = xkb->first_event;
        std::free(xkb);
    }

    ~X11KeyGrab() override {
        ungrab();
        if (m_filterInstalled && QCoreApplication::instance())
            QCoreApplication::instance()->removeNativeEventFilter(this);
    }

    void installHandler(std::function<void()> pressed) override {
        m_pressed = std::move(pressed);
        if (m_connection && !m_filterInstalled) {
            QCoreApplication::instance()->installNativeEventFilter(this);
            m_filterInstalled = true;
        }
    }

    int grab() override {
        if (!m_connection)
            return -1;
        const KeyboardMap now = readKeyboard();
        // Another keyboard announces itself exactly like a new layout. Where "n" and NumLock did not
        // move, the grab stays as it is: given up and taken again, a press arriving in between would
        // go to the focused window.
        if (m_grabbed && now == m_map)
            return 0;
        // The new grabs go in before the old ones come out, so that the key is never free.
        const QList<Combo> held = m_keysHeld ? combos(m_map) : QList<Combo>();
        m_map = now;
        const QList<Combo> wanted = combos(m_map);
        QList<xcb_void_cookie_t> cookies;
        for (const Combo& combo : wanted)
            cookies.append(xcb_grab_key_checked(m_connection, 0, m_root, combo.modifiers, combo.code,
                                                XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        for (const Combo& combo : held) {
            if (!wanted.contains(combo))
                xcb_ungrab_key(m_connection, combo.code, m_root, combo.modifiers);
        }
        m_keysHeld = !wanted.isEmpty();
        int status = wanted.isEmpty() ? -1 : 0;
        for (const xcb_void_cookie_t& cookie : std::as_const(cookies)) {
            if (xcb_generic_error_t* error = xcb_request_check(m_connection, cookie)) {
                if (status == 0)
                    status = error->error_code;
                std::free(error);
            }
        }
        xcb_flush(m_connection);
        if (status != 0) {
            // Half a grab would work with NumLock on and not off: all variants or none.
            releaseKeys();
            m_grabbed = false;
            return status;
        }
        m_grabbed = true;
        m_repeat.reset();
        DebugLog::log([] { return QStringLiteral("hotkey grabbed"); });
        return 0;
    }

    void ungrab() override {
        releaseKeys();
        m_grabbed = false;
    }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
        if (eventType != "xcb_generic_event_t")
            return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        const uint8_t kind = event->response_type & 0x7f;
        if (kind == XCB_KEY_PRESS) {
            const auto* key = reinterpret_cast<const xcb_key_press_event_t*>(event);
            if (!m_grabbed || !isHotKey(key))
                return false;
            if (m_repeat.press(key->time) && m_pressed)
                m_pressed();
            return true;
        }
        if (kind == XCB_KEY_RELEASE) {
            // The release may come with the modifiers already let go, and to the panel once it has
            // the keyboard: any release of the key ends the press.
            const auto* key = reinterpret_cast<const xcb_key_release_event_t*>(event);
            if (m_grabbed && m_map.codes.contains(key->detail))
                m_repeat.release(key->time);
            return m_grabbed && key->event == m_root && m_map.codes.contains(key->detail);
        }
        if (kind == XCB_MAPPING_NOTIFY) {
            if (reinterpret_cast<const xcb_mapping_notify_event_t*>(event)->request != XCB_MAPPING_POINTER)
                scheduleRegrab();
        } else if (m_xkbEvent != 0 && kind == m_xkbEvent) {
            const uint8_t xkbType = reinterpret_cast<const uint8_t*>(event)[1];
            if (xkbType == xkbNewKeyboardNotify || xkbType == xkbMapNotify)
                scheduleRegrab();
        }
        return false;
    }

private:
    // The root window of the screen that $DISPLAY names, which is the one Qt shows the app on.
    xcb_window_t rootOfQtScreen() const {
        int screenNumber = 0;
        char* host = nullptr;
        int display = 0;
        if (xcb_parse_display(nullptr, &host, &display, &screenNumber))
            std::free(host);
        xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(m_connection));
        for (int i = 0; i < screenNumber && screens.rem > 1; ++i)
            xcb_screen_next(&screens);
        return screens.data->root;
    }

    // Ctrl+Alt on the key, with CapsLock and NumLock in each state.
    static QList<Combo> combos(const KeyboardMap& map) {
        QList<Combo> list;
        for (const xcb_keycode_t code : map.codes) {
            for (const uint16_t lock : {uint16_t(0), uint16_t(XCB_MOD_MASK_LOCK)}) {
                for (const uint16_t numLock : {uint16_t(0), map.numLock})
                    list.append({code, uint16_t(controlAlt | lock | numLock)});
            }
        }
        return list;
    }

    bool isHotKey(const xcb_key_press_event_t* key) const {
        const uint16_t modifiers = key->state & 0xff & ~(XCB_MOD_MASK_LOCK | m_map.numLock);
        return modifiers == controlAlt && m_map.codes.contains(key->detail);
    }

    // The keys that type "n" and the modifier that NumLock sets, as the keyboard is mapped now.
    KeyboardMap readKeyboard() const {
        KeyboardMap map;
        xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(m_connection);
        if (!symbols)
            return map;
        map.codes = keycodesOf(symbols, keysymN);
        const QList<xcb_keycode_t> numLockKeys = keycodesOf(symbols, keysymNumLock);
        xcb_key_symbols_free(symbols);

        xcb_get_modifier_mapping_reply_t* mapping =
            xcb_get_modifier_mapping_reply(m_connection, xcb_get_modifier_mapping(m_connection), nullptr);
        if (!mapping)
            return map;
        const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(mapping);
        const int perModifier = mapping->keycodes_per_modifier;
        for (int modifier = 0; modifier < 8; ++modifier) {
            for (int i = 0; i < perModifier; ++i) {
                if (numLockKeys.contains(codes[modifier * perModifier + i]))
                    map.numLock = uint16_t(1u << modifier);
            }
        }
        std::free(mapping);
        return map;
    }

    void releaseKeys() {
        if (!m_connection || !m_keysHeld)
            return;
        m_keysHeld = false;
        for (const Combo& combo : combos(m_map))
            xcb_ungrab_key(m_connection, combo.code, m_root, combo.modifiers);
        xcb_flush(m_connection);
    }

    // A layout change comes as a burst of events: grab once, after the burst.
    void scheduleRegrab() {
        if (!m_grabbed || m_regrabPending)
            return;
        m_regrabPending = true;
        QTimer::singleShot(0, &m_context, [this] {
            m_regrabPending = false;
            if (!m_grabbed)
                return;
            if (const int status = grab(); status != 0)
                DebugLog::log([status] { return QStringLiteral("hotkey register failed: %1").arg(status); });
        });
    }

    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_root = XCB_NONE;
    uint8_t m_xkbEvent = 0;
    KeyboardMap m_map;
    bool m_grabbed = false;
    bool m_keysHeld = false; // grabs asked of the server for combos(m_map), taken or not
    bool m_filterInstalled = false;
    bool m_regrabPending = false;
    KeyRepeatFilter m_repeat;
    std::function<void()> m_pressed;
    QObject m_context; // ends a pending re-grab with the grab
};

} // namespace

namespace X11Platform {

std::unique_ptr<KeyGrab> keyGrab() {
    return std::make_unique<X11KeyGrab>();
}

} // namespace X11Platform
