#pragma once

#include "console/editors/list_window.h"

namespace console {

// The white-list window: the lists WL_IP, WL_URL, WL_EXT and WL_HOST of wblist.dat.
class wlistwin : public ListWindow {
    Q_OBJECT
public:
    wlistwin();
};

} // namespace console
