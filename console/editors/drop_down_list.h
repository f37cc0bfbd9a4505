#pragma once

#include <QComboBox>
#include <functional>

namespace console {

// A drop-down list that accepts only its own entries and tells when its
// list is opened (the record dialogs count that as a change).
class DropDownList : public QComboBox {
public:
    explicit DropDownList(QWidget* parent) : QComboBox(parent) { setEditable(false); }

    void setOpenHandler(std::function<void()> handler) { m_opened = std::move(handler); }

    void showPopup() override {
        if (m_opened) {
            m_opened();
        }
        QComboBox::showPopup();
    }

    // Selects the entry; false, leaving the selection, when there is none.
    bool selectEntry(const QString& entry) {
        const int index = findText(entry, Qt::MatchExactly | Qt::MatchCaseSensitive);
        if (index < 0) {
            return false;
        }
        setCurrentIndex(index);
        return true;
    }

private:
    std::function<void()> m_opened;
};

} // namespace console
