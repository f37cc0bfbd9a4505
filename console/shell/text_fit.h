#pragma once

class QLabel;

namespace console {

// Sets the label's font back to its window's and, when its one-line text is
// wider than the label, shrinks the font until it fits, down to a bound.
void fitLabelFont(QLabel* label);

} // namespace console
