#include "console/shell/text_fit.h"

#include <QLabel>
#include <QVariant>

namespace console {
namespace {

// Below this a caption is no longer read at a glance; a text that does not
// fit even so needs a wider control.
constexpr qreal kMinPointSize = 7;
constexpr const char* kDesignedFont = "ostrumDesignedFont";

bool fits(const QLabel* label, const QFont& font) {
    const int room = label->contentsRect().width() - 2 * label->margin();
    return QFontMetrics(font).horizontalAdvance(label->text()) <= room;
}

} // namespace

void fitLabelFont(QLabel* label) {
    if (label->wordWrap()) {
        return;
    }
    // The font the window gave the label is where each fitting starts.
    QVariant designed = label->property(kDesignedFont);
    if (!designed.isValid()) {
        designed = label->font();
        label->setProperty(kDesignedFont, designed);
    }
    QFont font = designed.value<QFont>();
    for (qreal size = font.pointSizeF(); !fits(label, font) && size > kMinPointSize;) {
        size = qMax(kMinPointSize, size - 0.5);
        font.setPointSizeF(size);
    }
    if (label->font() != font) {
        label->setFont(font);
    }
}

} // namespace console
