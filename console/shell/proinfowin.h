#pragma once

#include <QWidget>

namespace console {

class PictureButton;
class SideTabs;

// The about window: product name, the versions the settings file records,
// the product's links and Check Update.
class proinfowin : public QWidget {
    Q_OBJECT
public:
    proinfowin();

    // The addresses the window opens.
    static const QString kHomePage;
    static const QString kSupportPage;
    static const QString kForumPage;
    static const QString kPartnerPage;

protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void createLabels();
    void createVersionFrames();
    void createButtons();
    void paintCaptions();

    void updatelabel_Click();
    void procopyrightlabel_Click();
    void supportbtn_Click();
    void bbslabel_Click();
    void coolabel_Click();

    SideTabs* m_tabs = nullptr;
    PictureButton* m_update = nullptr;
    PictureButton* m_support = nullptr;
    PictureButton* m_bbs = nullptr;
};

} // namespace console
