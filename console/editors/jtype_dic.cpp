#include "console/editors/jtype_dic.h"

#include <QStringList>

namespace console {

bool JTypeDic::add(const QString& name, const QString& pattern, int line) {
    if (exists(name)) {
        return false;
    }
    m_entries.append({name, pattern, line});
    return true;
}

bool JTypeDic::exists(const QString& name) const {
    for (const auto& entry : m_entries) {
        if (entry.name == name) {
            return true;
        }
    }
    return false;
}

bool JTypeDic::existsIgnoringCase(const QString& name) const {
    const QString lower = name.toLower();
    for (const auto& entry : m_entries) {
        if (entry.name.toLower() == lower) {
            return true;
        }
    }
    return false;
}

QStringList JTypeDic::keys() const {
    QStringList names;
    for (const auto& entry : m_entries) {
        names.append(entry.name);
    }
    return names;
}

} // namespace console
