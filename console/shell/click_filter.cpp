#include "console/shell/click_filter.h"

#include <QEvent>
#include <QMouseEvent>

namespace console {

ClickFilter::ClickFilter(QObject* parent, std::function<void()> action)
    : QObject(parent), m_action(std::move(action)) {}

bool ClickFilter::eventFilter(QObject*, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        m_action();
        return true;
    }
    return false;
}

} // namespace console
