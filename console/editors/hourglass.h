#pragma once

#include <QPointer>
#include <QWidget>

namespace console {

// The hourglass pointer over one window for as long as it lives; the
// window's own pointer comes back afterwards.
class Hourglass {
public:
    explicit Hourglass(QWidget* window) : m_window(window) {
        if (m_window) {
            m_window->setCursor(Qt::WaitCursor);
        }
    }
    ~Hourglass() {
        if (m_window) {
            m_window->unsetCursor();
        }
    }
    Hourglass(const Hourglass&) = delete;
    Hourglass& operator=(const Hourglass&) = delete;

private:
    QPointer<QWidget> m_window;
};

} // namespace console
