#pragma once

#include <QPointer>
#include <QWidget>

namespace console {

// Each window class has exactly one instance, created on first reference
// ("loaded") and gone once unloaded.
template <class W> QPointer<W>& windowSlot() {
    static QPointer<W> slot;
    return slot;
}

template <class W> W& window() {
    QPointer<W>& slot = windowSlot<W>();
    if (slot.isNull()) {
        slot = new W();
    }
    return *slot;
}

template <class W> bool isLoaded() {
    return !windowSlot<W>().isNull();
}

// Safe from inside the window's own handlers: the object goes when control
// returns to the event loop, the slot at once.
template <class W> void unload() {
    QPointer<W>& slot = windowSlot<W>();
    if (W* w = slot.data()) {
        slot.clear();
        w->hide();
        w->deleteLater();
    }
}

} // namespace console
