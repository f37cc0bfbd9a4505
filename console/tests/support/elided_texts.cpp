#include "console/tests/support/elided_texts.h"

#include "console/shell/column_fit.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTabBar>
#include <QTextDocument>
#include <QTreeView>

namespace console::testing {
namespace {

// Lists are measured row by row; a window's own lists hold a few hundred.
constexpr int kMaxRowsMeasured = 1000;

QString describe(const QWidget& widget, const QString& text) {
    const QString name =
        widget.objectName().isEmpty() ? widget.metaObject()->className() : widget.objectName();
    return name + QStringLiteral(": ") + text;
}

int textWidth(const QFont& font, const QString& text) {
    const QFontMetrics metrics(font);
    int widest = 0;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        widest = qMax(widest, metrics.horizontalAdvance(line));
    }
    return widest;
}

int textHeight(const QFont& font, const QString& text) {
    return QFontMetrics(font).height() * int(text.count(QLatin1Char('\n')) + 1);
}

QString withoutMnemonic(QString text) {
    return text.replace(QStringLiteral("&&"), QStringLiteral("\x01"))
        .remove(QLatin1Char('&'))
        .replace(QLatin1Char('\x01'), QLatin1Char('&'));
}

bool labelCut(const QLabel& label) {
    const QString text = label.text();
    const QRect room = label.contentsRect().adjusted(label.margin(), label.margin(),
                                                     -label.margin(), -label.margin());
    if (Qt::mightBeRichText(text) && label.textFormat() != Qt::PlainText) {
        QTextDocument document;
        document.setDefaultFont(label.font());
        document.setDocumentMargin(0);
        document.setHtml(text);
        if (label.wordWrap()) {
            document.setTextWidth(room.width());
            return document.size().height() > room.height();
        }
        return document.idealWidth() > room.width();
    }
    if (label.wordWrap()) {
        const QRect needed =
            QFontMetrics(label.font())
                .boundingRect(QRect(0, 0, room.width(), 100000), Qt::TextWordWrap, text);
        return needed.height() > room.height() || needed.width() > room.width();
    }
    return textWidth(label.font(), text) > room.width() ||
           textHeight(label.font(), text) > room.height();
}

bool buttonCut(const QAbstractButton& button) {
    const QString text = withoutMnemonic(button.text());
    const QStyle* style = button.style();
    int needed = textWidth(button.font(), text);
    if (qobject_cast<const QCheckBox*>(&button) != nullptr ||
        qobject_cast<const QRadioButton*>(&button) != nullptr) {
        needed += style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, &button) +
                  style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, &button);
    } else {
        needed += 2 * style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, &button);
        if (!button.icon().isNull()) {
            needed += button.iconSize().width() + 4;
        }
    }
    return needed > button.width() || textHeight(button.font(), text) > button.height();
}

bool comboCut(const QComboBox& combo) {
    QStyleOptionComboBox option;
    option.initFrom(&combo);
    option.editable = combo.isEditable();
    option.frame = combo.hasFrame();
    const QRect field = combo.style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                      QStyle::SC_ComboBoxEditField, &combo);
    return textWidth(combo.font(), combo.currentText()) > field.width();
}

void headerCuts(const QHeaderView& header, QStringList& cut) {
    if (header.isHidden() || header.orientation() != Qt::Horizontal) {
        return;
    }
    for (int i = 0; i < header.count(); ++i) {
        if (!header.isSectionHidden(i) && header.sectionSizeHint(i) > header.sectionSize(i)) {
            cut.append(describe(header, header.model()->headerData(i, Qt::Horizontal).toString()));
        }
    }
}

// A column already at the widest a list allows cuts long texts on purpose.
bool atWidestColumn(const QAbstractItemView& view, int column) {
    const auto* tree = qobject_cast<const QTreeView*>(&view);
    return tree != nullptr && tree->columnWidth(column) >= console::kMaxColumnPixels;
}

void cellCuts(const QAbstractItemView& view, QStringList& cut) {
    const QAbstractItemModel* model = view.model();
    if (model == nullptr) {
        return;
    }
    const int rows = qMin(model->rowCount(view.rootIndex()), kMaxRowsMeasured);
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < model->columnCount(view.rootIndex()); ++column) {
            const QModelIndex index = model->index(row, column, view.rootIndex());
            const QString text = index.data(Qt::DisplayRole).toString();
            const QRect cell = view.visualRect(index);
            if (!text.isEmpty() && !cell.isEmpty() && !atWidestColumn(view, column) &&
                view.sizeHintForIndex(index).width() > cell.width()) {
                cut.append(describe(view, text));
            }
        }
    }
}

void tabCuts(const QTabBar& bar, QStringList& cut) {
    const int space = bar.style()->pixelMetric(QStyle::PM_TabBarTabHSpace, nullptr, &bar);
    for (int i = 0; i < bar.count(); ++i) {
        const QString text = withoutMnemonic(bar.tabText(i));
        if (textWidth(bar.font(), text) + space > bar.tabRect(i).width()) {
            cut.append(describe(bar, text));
        }
    }
}

} // namespace

QStringList elidedTexts(const QWidget& window) {
    QStringList cut;
    for (const QWidget* widget : window.findChildren<QWidget*>()) {
        if (!widget->isVisibleTo(&window)) {
            continue;
        }
        if (const auto* label = qobject_cast<const QLabel*>(widget)) {
            if (!label->text().isEmpty() && labelCut(*label)) {
                cut.append(describe(*label, label->text()));
            }
        } else if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) {
            if (!button->text().isEmpty() && buttonCut(*button)) {
                cut.append(describe(*button, button->text()));
            }
        } else if (const auto* group = qobject_cast<const QGroupBox*>(widget)) {
            const int needed = textWidth(group->font(), withoutMnemonic(group->title())) + 16;
            if (!group->title().isEmpty() && needed > group->width()) {
                cut.append(describe(*group, group->title()));
            }
        } else if (const auto* combo = qobject_cast<const QComboBox*>(widget)) {
            if (comboCut(*combo)) {
                cut.append(describe(*combo, combo->currentText()));
            }
        } else if (const auto* header = qobject_cast<const QHeaderView*>(widget)) {
            headerCuts(*header, cut);
        } else if (const auto* bar = qobject_cast<const QTabBar*>(widget)) {
            tabCuts(*bar, cut);
        } else if (const auto* view = qobject_cast<const QAbstractItemView*>(widget)) {
            cellCuts(*view, cut);
        }
    }
    return cut;
}

} // namespace console::testing
