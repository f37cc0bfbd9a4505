#include "console/shell/column_fit.h"

#include <QHeaderView>
#include <QTreeWidget>

namespace console {
void fitColumns(QTreeWidget* list) {
    const QAbstractItemModel* model = list->model();
    for (int column = 0; column < list->columnCount(); ++column) {
        int needed = list->header()->sectionSizeHint(column);
        for (int row = 0; row < list->topLevelItemCount(); ++row) {
            needed = qMax(needed, list->sizeHintForIndex(model->index(row, column)).width());
        }
        if (column == 0 && list->rootIsDecorated()) {
            needed += list->indentation();
        }
        needed = qMin(needed, kMaxColumnPixels);
        if (needed > list->columnWidth(column)) {
            list->setColumnWidth(column, needed);
        }
    }
}

} // namespace console
