#pragma once

#include "console/editors/list_window.h"

namespace console {

// The black-list window: the lists BL_IP, BL_URL, BL_EXT and BL_HOST of wblist.dat.
class blistwin : public ListWindow {
    Q_OBJECT
public:
    blistwin();
};

} // namespace console
