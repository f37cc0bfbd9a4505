#pragma once

#include "console/editors/advanced.h"
#include "console/shell/language.h"
#include "console/shell/message_box.h"

#include <QByteArrayList>
#include <QDialog>
#include <QRect>
#include <QStringList>
#include <functional>
#include <optional>

class QAction;
class QLabel;
class QMenu;
class QTreeWidget;
class QTreeWidgetItem;

namespace console {

class PictureButton;

// The frame every Advanced window shares: the side bar across the top
// (`crbtn`, `jrbtn`, `clbtn`, `blbtn`, `wlbtn`), "Apply" (`applyBtn` behind
// `applyLabel`) and "Close" (`closeBtn` behind `closeLabel`), the captions
// of the current language on every paint, messages titled with the window's
// caption, file access in the ANSI code page and, for windows with a record
// list, the list's popup menu `pMenu`. The window is a modal dialog shown by
// showAdvancedWindow over its owner.
class AdvancedFrame : public QDialog {
    Q_OBJECT
public:
    // own: which of the five windows this is (its side bar label does
    // nothing); title: the window's caption in the three languages.
    AdvancedFrame(AdvancedWindow own, const LanguageText& title);
    ~AdvancedFrame() override;

    AdvancedWindow ownWindow() const { return m_own; }
    // The window a side bar click asked for; showAdvancedWindow opens it next.
    std::optional<AdvancedWindow> switchTarget() const { return m_next; }
    void clearSwitchTarget() { m_next.reset(); }

    // Sets every caption of the current language: the frame's, then the
    // window's own (paintCaptions). A language outside 0 to 2 keeps the
    // captions as they stand. Paints call it; so may anyone after a change.
    void updateCaptions();

    // A message box owned by this window and titled with its current caption.
    MessageAnswer frameMessage(const QString& text, MessageButtons buttons);

    // The size of every advanced window and the place of a record list.
    static QSize frameSize();
    static QRect listGeometry();

    // The Apply picture button (tests look at its hover picture).
    PictureButton* applyButton() const { return m_apply; }

    // Setters that leave an unchanged caption alone, so that a paint that
    // sets the captions causes no further paint.
    static void setCaption(QLabel* label, const QString& text);
    static void setHeaderCaption(QTreeWidget* list, int column, const QString& text);
    static void setTitle(QWidget* window, const QString& text);

protected:
    // The window's own captions, title excepted (column headers, tabs...).
    virtual void paintCaptions() {}

    // Record-list commands from `pMenu` (and double click: editRecord).
    virtual void refreshRecords() {}
    virtual void editRecord() {}
    virtual void addRecord() {}
    virtual void deleteRecord() {}

    // Makes list the window's record list: a right button press selects
    // the row under the pointer (none off the rows) and pops `pMenu` up; a
    // double click is Edit. Call once, after creating the list.
    void attachRecordList(QTreeWidget* list);
    // A report-style list at listGeometry, single selection, one column a
    // header (widths in twips), made the record list by attachRecordList.
    QTreeWidget* createRecordList(const QString& objectName, const QStringList& headers,
                                  const QList<int>& widths);
    // The first selected row of the record list; none without a selection.
    QTreeWidgetItem* firstSelectedRecord() const;
    // Adds an item after the four standard ones (same caption in every language).
    QAction* addMenuItem(const QString& objectName, const QString& caption,
                         std::function<void()> handler);
    QMenu* recordMenu() const { return m_menu; }

    // Reads appFolder + fileName into lines (raw bytes, line ends taken
    // off). A missing file reads as no lines. False, without a message, when
    // the file exists but cannot be read: writeFrameFile then refuses to
    // replace it (what the window shows is not what it holds) until a later
    // read succeeds.
    bool readFrameFile(const QString& fileName, QByteArrayList& lines);
    // Hands each line that is not a comment to handle with its index, as
    // text; with events, pending window events run before each line.
    static void forEachRecordLine(const QByteArrayList& lines, bool events,
                                  const std::function<void(int, const QString&)>& handle);
    // Replaces appFolder + fileName, read as lines, with content. When it
    // cannot, or must not, be written (it no longer holds those lines: a
    // save would undo what another hand wrote meanwhile) the user gets a
    // message and the result is false.
    bool writeFrameFile(const QString& fileName, const QByteArrayList& lines,
                        const QByteArray& content);
    // The message of a file that cannot be written.
    void reportWriteFailure(const QString& path);

    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    // Escape and the close box: the window unloads like "Close".
    void reject() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildSideBar();
    void buildButtons();
    void buildMenu();
    void setFrameCaptions();
    void sideBarClicked(AdvancedWindow target);
    void closeFrame();
    void apply();

    AdvancedWindow m_own;
    LanguageText m_title;
    std::optional<AdvancedWindow> m_next;
    QLabel* m_sideBar[5] = {};
    PictureButton* m_apply = nullptr;
    QLabel* m_closeImage = nullptr;
    QLabel* m_closeLabel = nullptr;
    QMenu* m_menu = nullptr;
    QTreeWidget* m_list = nullptr;
    QStringList m_unreadable; // files whose last read failed
};

// Unloads one of the five windows (showAdvancedWindow's loop then opens the
// window its side bar asked for, if any).
void unloadAdvancedWindow(AdvancedWindow which);

} // namespace console
