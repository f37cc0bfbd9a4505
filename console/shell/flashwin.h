#pragma once

#include <QWidget>

class QLabel;

namespace console {

// The splash window: one label, no behaviour of its own.
class flashwin : public QWidget {
    Q_OBJECT
public:
    flashwin();
    QLabel* tiplabel() const { return m_tiplabel; }

private:
    QLabel* m_tiplabel;
};

} // namespace console
