#pragma once

#include <QDialog>

class QLineEdit;
class QTreeWidget;
class QTreeWidgetItem;

namespace console {

class jrulewin;

// The parameter-type editor: the types of the patch-rule window's
// `jtypeDic`, edited in place in `typeList` through the panel `Container`
// (`tname`, `tregex`). Every commit that changed something, and every
// confirmed delete, rebuilds the dictionary and has the window save the file.
class mantype : public QDialog {
    Q_OBJECT
public:
    mantype();

    // Shows the editor modally over the patch-rule window; returns when it has closed.
    void showOver(QWidget* owner);

    // Where the in-place editor stands, in twips (tests check the placement rules).
    QRect editorTwipsForTest() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    // The close box (and Escape over the window): unload; a pending entry is dropped.
    void reject() override;

private:
    void buildMenu();
    void buildEditor();
    void paintCaptions();
    void loadTypes();
    void saveTypes();
    void placeEditor(int x, int y);
    void commit();
    void abandon();
    bool nameTaken(const QString& name, const QTreeWidgetItem* except) const;
    // Why a type may not be stored as typed; empty when it may.
    QString typeRefusal(const QString& name, const QString& pattern,
                        const QTreeWidgetItem* except) const;
    void refreshTypes();
    void addType();
    void editType();
    void deleteType();
    bool editorKey(QObject* watched, int key);
    QTreeWidgetItem* firstSelectedRow() const;
    // A row's place in twips from the list's top-left corner.
    QRect rowTwips(const QTreeWidgetItem* row) const;

    QTreeWidget* m_list;
    QWidget* m_container = nullptr;
    QLineEdit* m_name = nullptr;
    QLineEdit* m_regex = nullptr;
    QTreeWidgetItem* m_editItem = nullptr;
    int m_panelWidth; // twips
    int m_regexWidth; // twips
    bool m_adding = false;
    bool m_editing = false;
    bool m_changed = false;
    bool m_saving = false;
};

} // namespace console
