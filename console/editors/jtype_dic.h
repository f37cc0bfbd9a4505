#pragma once

#include <QList>
#include <QPair>
#include <QString>

namespace console {

// The parameter types of the patch-rule file: names (unique, compared with
// case) to patterns, kept in the order they were added, which is the order
// they are written back in.
class JTypeDic {
public:
    // False, adding nothing, when the name is there already.
    [[nodiscard]] bool add(const QString& name, const QString& pattern);
    bool exists(const QString& name) const;
    // Whether a name equal to this one, ignoring case, is there.
    bool existsIgnoringCase(const QString& name) const;
    void clear() { m_entries.clear(); }

    int count() const { return int(m_entries.size()); }
    const QString& key(int index) const { return m_entries[index].first; }
    const QString& value(int index) const { return m_entries[index].second; }
    QStringList keys() const;

private:
    QList<QPair<QString, QString>> m_entries;
};

} // namespace console
