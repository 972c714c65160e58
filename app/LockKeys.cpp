#include <QGuiApplication>

#include "MainFrame.h"

#ifdef TRIVEX_HAVE_X11
#include <X11/XKBlib.h>
#endif

int LockKeyState()
{
#ifdef TRIVEX_HAVE_X11
    if (auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr) {
        if (Display* display = x11->display()) {
            unsigned int indicators = 0;
            if (XkbGetIndicatorState(display, XkbUseCoreKbd, &indicators) == Success) {
                // Caps Lock, Num Lock and Scroll Lock are the first three indicators.
                return static_cast<int>(indicators & 7u);
            }
        }
    }
#endif
    return -1;
}
