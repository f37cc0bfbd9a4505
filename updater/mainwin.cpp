#include "updater/mainwin.h"

#include <QCoreApplication>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QVBoxLayout>

namespace ostrum::updater {

MainWin::MainWin() : m_updateLog(new QPlainTextEdit(this)) {
    setObjectName("MainWin");
    setWindowTitle("Ostrum Update");
    m_updateLog->setObjectName("updateLog");
    m_updateLog->setReadOnly(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_updateLog);
    resize(480, 320);
    m_updateLog->clear();
}

void MainWin::showOnTop() {
    setWindowFlag(Qt::WindowStaysOnTopHint);
    setAttribute(Qt::WA_ShowWithoutActivating);
    show();
}

void MainWin::addLog(std::string_view text) {
    pumpEvents();
    m_updateLog->appendPlainText(QString::fromUtf8(text.data(), qsizetype(text.size())));
    m_updateLog->moveCursor(QTextCursor::End);
}

void MainWin::pumpEvents() {
    QCoreApplication::processEvents();
}

} // namespace ostrum::updater
