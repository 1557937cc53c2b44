#include "app/qt/x11_capture_fix.h"

#include <dlfcn.h>

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QObject>
#include <QPlatformSurfaceEvent>
#include <QWindow>

#include <X11/Xlib.h>

namespace vellor {
namespace {

// libX11 is already in the process through the xcb platform plugin; it is looked up rather
// than linked so the program keeps no X11 dependency of its own.
struct XlibCalls {
    decltype(&XGetWindowAttributes) getWindowAttributes = nullptr;
    decltype(&XSetWindowColormap) setWindowColormap = nullptr;
    decltype(&XFlush) flush = nullptr;

    bool Load() {
        void* lib = dlopen("libX11.so.6", RTLD_NOW | RTLD_NOLOAD);
        if (lib == nullptr) return false;
        getWindowAttributes =
            reinterpret_cast<decltype(getWindowAttributes)>(dlsym(lib, "XGetWindowAttributes"));
        setWindowColormap =
            reinterpret_cast<decltype(setWindowColormap)>(dlsym(lib, "XSetWindowColormap"));
        flush = reinterpret_cast<decltype(flush)>(dlsym(lib, "XFlush"));
        // The handle stays open: the library is the platform plugin's and outlives us anyway.
        return getWindowAttributes != nullptr && setWindowColormap != nullptr && flush != nullptr;
    }
};

class DefaultColormapSetter : public QObject {
  public:
    DefaultColormapSetter(Display* display, XlibCalls calls, QObject* parent)
        : QObject(parent), display_(display), calls_(calls) {}

  protected:
    // Runs as each native window is created, before it is first mapped.
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::PlatformSurface &&
            static_cast<QPlatformSurfaceEvent*>(event)->surfaceEventType() ==
                QPlatformSurfaceEvent::SurfaceCreated) {
            if (auto* window = qobject_cast<QWindow*>(watched)) Apply(window->winId());
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    void Apply(WId id) {
        const auto xid = static_cast<Window>(id);
        XWindowAttributes attributes{};
        if (calls_.getWindowAttributes(display_, xid, &attributes) == 0) return;
        // A colormap must match the window's visual; translucent (ARGB) windows keep theirs.
        Screen* screen = attributes.screen;
        if (screen == nullptr || attributes.visual != DefaultVisualOfScreen(screen)) return;
        if (attributes.colormap == DefaultColormapOfScreen(screen)) return;
        calls_.setWindowColormap(display_, xid, DefaultColormapOfScreen(screen));
        calls_.flush(display_);
    }

    Display* display_;
    XlibCalls calls_;
};

}  // namespace

void ShareDefaultColormapOnX11() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (x11 == nullptr || x11->display() == nullptr) return;
    XlibCalls calls;
    if (!calls.Load()) return;
    qApp->installEventFilter(new DefaultColormapSetter(x11->display(), calls, qApp));
}

}  // namespace vellor
