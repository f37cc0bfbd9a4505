#include "console/shell/module.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    if (!console::Main()) {
        return 0;
    }
    return app.exec();
}
