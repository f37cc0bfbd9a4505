#pragma once

class QLabel;

namespace console {

// Gives the label back the font it had when first fitted and, when its
// one-line text is wider than the label, shrinks that font until the text
// fits, down to a bound.
void fitLabelFont(QLabel* label);

} // namespace console
