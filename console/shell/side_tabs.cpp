#include "console/shell/side_tabs.h"

#include "console/shell/click_filter.h"
#include "console/shell/language.h"

#include <QLabel>
#include <QPainter>

namespace console {
namespace {

constexpr int kTabHeight = 72;
constexpr int kTop = 12;

// A glyph for each tab: state (a pulse), history (a clock), settings
// (sliders), advanced (a shield), about (an "i").
void drawGlyph(QPainter& p, int index) {
    switch (index) {
    case 0:
        p.drawPolyline(QPolygonF({{8, 21}, {15, 21}, {18, 12}, {22, 28}, {25, 19}, {32, 19}}));
        break;
    case 1:
        p.drawEllipse(QRectF(10, 10, 20, 20));
        p.drawPolyline(QPolygonF({{20, 13}, {20, 20}, {25, 23}}));
        break;
    case 2:
        for (int row = 0; row < 3; ++row) {
            const qreal y = 12 + row * 8;
            p.drawLine(QPointF(9, y), QPointF(31, y));
            p.drawEllipse(QPointF(row == 1 ? 24 : 15, y), 2, 2);
        }
        break;
    case 3:
        p.drawPolygon(QPolygonF({{20, 9}, {30, 13}, {28, 24}, {20, 31}, {12, 24}, {10, 13}}));
        break;
    default:
        p.drawLine(QPointF(20, 18), QPointF(20, 30));
        p.drawPoint(QPointF(20, 12));
        break;
    }
}

QPixmap tabPicture(int index, bool own) {
    QPixmap pixmap(40, 40);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(own ? QColor(247, 190, 90) : QColor(120, 170, 210));
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(2, 2, 36, 36), 8, 8);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::white, 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    drawGlyph(p, index);
    return pixmap;
}

} // namespace

SideTabs::SideTabs(QWidget* window, MainWindow own)
    : QObject(window), m_window(window), m_own(own) {
    addTab(0, "statelabel", "menuStatu", MainWindow::Status);
    addTab(1, "historylabel", "menuHistory", MainWindow::History);
    addTab(2, "settinglabel", "menuSetting", MainWindow::Setting);
    addAdvancedTab(3);
    addTab(4, "proinfolabel", "menuProinfo", MainWindow::ProInfo);
    setCaptions();
}

QLabel* SideTabs::addImage(int index, const char* labelName, const char* imageName, bool own) {
    auto* label = new QLabel(m_window);
    label->setObjectName(QString::fromLatin1(labelName));
    label->setGeometry(0, kTop + index * kTabHeight + 44, kWidth, 22);
    label->setAlignment(Qt::AlignCenter);
    m_labels[index] = label;
    auto* image = new QLabel(m_window);
    image->setObjectName(QString::fromLatin1(imageName));
    image->setGeometry((kWidth - 40) / 2, kTop + index * kTabHeight, 40, 40);
    image->setPixmap(tabPicture(index, own));
    if (!own) {
        image->setCursor(Qt::PointingHandCursor);
    }
    return image;
}

void SideTabs::addTab(int index, const char* labelName, const char* imageName, MainWindow target) {
    const bool own = target == m_own;
    QLabel* image = addImage(index, labelName, imageName, own);
    if (own) {
        // The status window has no tab image of its own.
        if (target == MainWindow::Status) {
            delete image;
        }
        return;
    }
    QWidget* w = m_window;
    image->installEventFilter(new ClickFilter(image, [w, target] { switchMainWindow(w, target); }));
}

void SideTabs::addAdvancedTab(int index) {
    QLabel* image = addImage(index, "advlabel", "menuAdvanced", false);
    QWidget* w = m_window;
    image->installEventFilter(new ClickFilter(image, [w] { openAdvanced(w); }));
}

void SideTabs::setCaptions() {
    m_labels[0]->setText(byLanguage("State", "当前状态", "當前狀態"));
    m_labels[1]->setText(byLanguage("History", "查看历史", "查看歷史"));
    m_labels[2]->setText(byLanguage("Settings", "参数配置", "參數配置"));
    m_labels[3]->setText(byLanguage("Advanced", "高级配置", "高級配置"));
    m_labels[4]->setText(byLanguage("About", "产品信息", "產品信息"));
}

} // namespace console
