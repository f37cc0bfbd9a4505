#pragma once

#include "console/editors/advanced_frame.h"

class QFrame;
class QLabel;
class QLineEdit;
class QTreeWidget;
class QTreeWidgetItem;

namespace console {

// What sets the white-list window and the black-list window apart.
struct ListWindowDesign {
    const char* objectName;
    AdvancedWindow own;
    LanguageText title;
    const char* keys[4];     // one list key a tab, tab 0 shown first
    LanguageText tabs[4];    // the tabs' captions
    int tabTops[4];          // twips
    LanguageText deleteLead; // lead text of the delete question
    bool trimValues;         // values are shown trimmed of blanks
};

// One list of wblist.dat at a time in `bwList`, chosen by the four tabs
// `listBtn0`..`listBtn3`, edited in place in `rvalue` inside `Container`.
// Every change is written to the file at once.
class ListWindow : public AdvancedFrame {
    Q_OBJECT
public:
    explicit ListWindow(const ListWindowDesign& design);

    // Replaces the rows with the values of key in the file.
    void loadList(const QString& key);
    // The key of the tab bearing caption in the current language; empty for none.
    QString captionToKey(const QString& caption) const;
    // Moves, sizes and shows the editor; x, y in window twips.
    void placeEditor(int x, int y);
    // Rewrites the file for the current tab's key.
    void saveList();
    // Finishes an open add or edit; saves when the editor's text has changed.
    void commit();

    int currentTab() const { return curTab; }
    bool isAdding() const { return adding; }
    bool isEditing() const { return editing; }

protected:
    void paintCaptions() override;
    void refreshRecords() override;
    void editRecord() override;
    void addRecord() override;
    void deleteRecord() override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void buildList();
    void buildTabs();
    void buildEditor();
    void tabClicked(int index);
    void colourTabs();
    bool editorKey(QKeyEvent* key);
    void hideEditor();
    // The text as the list would hold it: trimmed in the white-list window.
    QString editorValue() const;
    // True when a row other than except holds text; reports the duplicate.
    bool isDuplicate(const QString& text, const QTreeWidgetItem* except);
    QString tabKey(int index) const;
    QTreeWidgetItem* firstSelectedRow() const;

    const ListWindowDesign& m_design;
    QTreeWidget* bwList = nullptr;
    QLabel* listBtn[4] = {};
    QFrame* Container = nullptr;
    QLineEdit* rvalue = nullptr;
    int m_containerWidth = 0; // twips
    int m_valueWidth = 0;     // twips

    bool loaded = false;
    int curTab = 0;
    bool adding = false;
    bool editing = false;
    QTreeWidgetItem* editItem = nullptr;
    bool changed = false;
    bool saving = false;
};

} // namespace console
