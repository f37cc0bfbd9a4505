#pragma once

#include <QList>
#include <QString>

namespace console {

// The parameter types of the patch-rule file: names (unique, compared with
// case) to patterns, kept in the order they were added, which is the order
// they are written back in. Each type remembers the file line it was read
// from (-1: a new type), so that a save rewrites only the types that changed.
class JTypeDic {
public:
    // False, adding nothing, when the name is there already.
    [[nodiscard]] bool add(const QString& name, const QString& pattern, int line = -1);
    bool exists(const QString& name) const;
    // Whether a name equal to this one, ignoring case, is there.
    bool existsIgnoringCase(const QString& name) const;
    void clear() { m_entries.clear(); }

    int count() const { return int(m_entries.size()); }
    const QString& key(int index) const { return m_entries[index].name; }
    const QString& value(int index) const { return m_entries[index].pattern; }
    int line(int index) const { return m_entries[index].line; }
    QStringList keys() const;

private:
    struct Entry {
        QString name;
        QString pattern;
        int line;
    };
    QList<Entry> m_entries;
};

} // namespace console
