#pragma once

#include <QDialog>

class QLabel;
class QTimer;

namespace console {

// The restart dialog: a second after it shows, it stops the service, starts
// it again and closes, so that the service reads its changed files.
class restartwin : public QDialog {
    Q_OBJECT
public:
    explicit restartwin(QWidget* owner);

    QLabel* tiplabel() const { return m_tiplabel; }

protected:
    // Neither Escape nor the close box cancels a restart that is on its way.
    void reject() override {}

private:
    void restart();

    QLabel* m_tiplabel;
    QTimer* m_timer;
};

// Shows the restart dialog modally over owner; returns once it has
// restarted the service and closed.
void showRestartDialog(QWidget* owner);

} // namespace console
