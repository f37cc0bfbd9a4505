#include "console/shell/referwin.h"

namespace console {

referWin::referWin() {
    setObjectName(QStringLiteral("referWin"));
    setWindowTitle(QStringLiteral("refer"));
    hide();
}

adreferWin::adreferWin() {
    setObjectName(QStringLiteral("adreferWin"));
    hide();
}

} // namespace console
