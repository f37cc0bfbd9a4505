#pragma once

#include <QWidget>

namespace console {

// Position holders that are never seen: referWin carries the place of the
// main window being left; adreferWin is set aside for the Advanced windows.
class referWin : public QWidget {
    Q_OBJECT
public:
    referWin();
};

class adreferWin : public QWidget {
    Q_OBJECT
public:
    adreferWin();
};

} // namespace console
