#include "console/shell/text_fit.h"

#include <QLabel>

namespace console {
namespace {

// Below this a caption is no longer read at a glance; a text that does not
// fit even so needs a wider control.
constexpr qreal kMinPointSize = 7;

bool fits(const QLabel* label, const QFont& font) {
    const int room = label->contentsRect().width() - 2 * label->margin();
    return QFontMetrics(font).horizontalAdvance(label->text()) <= room;
}

} // namespace

void fitLabelFont(QLabel* label) {
    if (label->wordWrap() || label->parentWidget() == nullptr) {
        return;
    }
    QFont font = label->parentWidget()->font();
    for (qreal size = font.pointSizeF(); !fits(label, font) && size > kMinPointSize;) {
        size = qMax(kMinPointSize, size - 0.5);
        font.setPointSizeF(size);
    }
    if (label->font() != font) {
        label->setFont(font);
    }
}

} // namespace console
