#pragma once

#include <span>

class QWidget;

namespace console {

// One caption of a window in the three languages. An empty control name
// stands for the window itself (its title).
struct Caption {
    const char* control;
    const char* english;
    const char* simplified;
    const char* traditional;
};

// Sets each caption for the current language: a label's or a button's
// text, a frame's title, the window's title. Unchanged texts are left
// alone, so that a paint that sets them causes no further paint.
void applyCaptions(QWidget* window, std::span<const Caption> captions);
// The same for tooltips.
void applyToolTips(QWidget* window, std::span<const Caption> tips);

} // namespace console
