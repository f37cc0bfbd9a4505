#pragma once

#include "console/shell/windows.h"

#include <QAction>
#include <QByteArray>
#include <QMenu>
#include <QStringList>
#include <QTimer>
#include <QTreeWidget>
#include <functional>
#include <memory>

namespace console::testing {

// Runs action once the modal window W is up: a modal exec blocks the test
// until action closes it. Gives up quietly when W never shows.
template <class W> void whenModal(std::function<void(W&)> action) {
    auto* timer = new QTimer;
    auto ticks = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [timer, ticks, action] {
        const bool up = isLoaded<W>() && window<W>().isVisible();
        if (up || ++*ticks > 4000) {
            timer->stop();
            timer->deleteLater();
            if (up) {
                action(window<W>());
            }
        }
    });
    timer->start(5);
}

// The named control of a window; the test ends when there is none.
template <class T> T* child(QWidget& w, const char* name) {
    T* found = w.findChild<T*>(QString::fromLatin1(name));
    if (found == nullptr) {
        qFatal("no child %s", name);
    }
    return found;
}

// Triggers an item of a window's record-list menu `pMenu`.
inline void menu(QWidget& w, const char* item) {
    child<QMenu>(w, "pMenu")->findChild<QAction*>(QString::fromLatin1(item))->trigger();
}

// Selects that row of the list, and only it.
inline void selectOnly(QTreeWidget* list, int row) {
    list->clearSelection();
    list->topLevelItem(row)->setSelected(true);
}

// The lines as an editor writes them: each ended by CR LF.
inline QByteArray crlf(const QStringList& lines) {
    QByteArray text;
    for (const QString& line : lines) {
        text += line.toUtf8() + "\r\n";
    }
    return text;
}

} // namespace console::testing
