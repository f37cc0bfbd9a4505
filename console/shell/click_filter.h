#pragma once

#include <QObject>
#include <functional>

namespace console {

// Makes a control that is not a button clickable: a left-button release
// over it runs the action. Install it on the control, which owns it.
class ClickFilter : public QObject {
public:
    ClickFilter(QObject* parent, std::function<void()> action);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void()> m_action;
};

} // namespace console
