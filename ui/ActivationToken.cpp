#include "ui/ActivationToken.h"

#include <QGuiApplication>
#include <QThread>
#include <QWindow>

#ifdef TAVOLIX_XDG_ACTIVATION
#include "xdg-activation-v1-client-protocol.h"

#include <cstdio>
#include <cstring>
#include <wayland-client.h>

#include <qpa/qplatformnativeinterface.h>
#endif

namespace tavolix::ui {

#ifdef TAVOLIX_XDG_ACTIVATION
namespace {

struct TRequest {
    xdg_activation_v1* Activation = nullptr;
    wl_seat* Seat = nullptr; // the toolkit's, when it tells it
    QByteArray Token;
    bool Done = false;
};

void RegistryGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
    auto* request = static_cast<TRequest*>(data);
    if (!request->Activation && std::strcmp(interface, xdg_activation_v1_interface.name) == 0)
        request->Activation = static_cast<xdg_activation_v1*>(
            wl_registry_bind(registry, name, &xdg_activation_v1_interface, 1));
}

void RegistryGlobalRemove(void*, wl_registry*, uint32_t) {
}

const wl_registry_listener kRegistryListener = {RegistryGlobal, RegistryGlobalRemove};

void TokenDone(void* data, xdg_activation_token_v1*, const char* token) {
    auto* request = static_cast<TRequest*>(data);
    request->Token = token;
    request->Done = true;
}

const xdg_activation_token_v1_listener kTokenListener = {TokenDone};

} // namespace
#endif

QString NewActivationToken() {
#ifdef TAVOLIX_XDG_ACTIVATION
    // The toolkit's connection is read on its own thread; requests from here
    // go through a queue of their own.
    if (!QGuiApplication::platformName().startsWith(QLatin1String("wayland")) ||
        QThread::currentThread() != qApp->thread())
        return {};
    QPlatformNativeInterface* native = QGuiApplication::platformNativeInterface();
    if (!native)
        return {};
    auto* display = static_cast<wl_display*>(native->nativeResourceForIntegration("wl_display"));
    if (!display)
        return {};
    QWindow* window = QGuiApplication::focusWindow();
    auto* surface = window && window->handle()
                        ? static_cast<wl_surface*>(native->nativeResourceForWindow("surface", window))
                        : nullptr;
    TRequest request;
    request.Seat = static_cast<wl_seat*>(native->nativeResourceForIntegration("wl_seat"));
    const auto serial =
        static_cast<uint32_t>(reinterpret_cast<quintptr>(native->nativeResourceForIntegration("serial")));

    wl_event_queue* queue = wl_display_create_queue(display);
    auto* wrapper = static_cast<wl_display*>(wl_proxy_create_wrapper(display));
    wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(wrapper), queue);
    wl_registry* registry = wl_display_get_registry(wrapper);
    wl_registry_add_listener(registry, &kRegistryListener, &request);
    xdg_activation_token_v1* token = nullptr;
    if (wl_display_roundtrip_queue(display, queue) >= 0 && request.Activation) {
        token = xdg_activation_v1_get_activation_token(request.Activation);
        xdg_activation_token_v1_add_listener(token, &kTokenListener, &request);
        const QByteArray appId = QGuiApplication::desktopFileName().toUtf8();
        if (!appId.isEmpty())
            xdg_activation_token_v1_set_app_id(token, appId.constData());
        if (surface)
            xdg_activation_token_v1_set_surface(token, surface);
        // The last key press or click: what lets the compositor grant the focus.
        if (request.Seat && serial)
            xdg_activation_token_v1_set_serial(token, serial, request.Seat);
        xdg_activation_token_v1_commit(token);
        // The answer comes before the round trip's end, or not at all.
        wl_display_roundtrip_queue(display, queue);
    }
    if (token)
        xdg_activation_token_v1_destroy(token);
    if (request.Activation)
        xdg_activation_v1_destroy(request.Activation);
    wl_registry_destroy(registry);
    wl_proxy_wrapper_destroy(wrapper);
    wl_display_flush(display);
    wl_event_queue_destroy(queue);
    return request.Done ? QString::fromUtf8(request.Token) : QString();
#else
    return {};
#endif
}

} // namespace tavolix::ui
