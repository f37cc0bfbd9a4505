#pragma once

#include <QStringList>

class QWidget;

namespace console::testing {

// The texts of a window that do not show whole at its present size and
// fonts, each as "object: text": labels, buttons, group titles, tabs,
// drop-down lists, column headers and the cells of its lists and tables.
// Only what is visible in the window is measured.
QStringList elidedTexts(const QWidget& window);

} // namespace console::testing
