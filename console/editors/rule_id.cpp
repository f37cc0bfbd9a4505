#include "console/editors/rule_id.h"

#include <climits>
#include <cmath>
#include <optional>
#include <set>

namespace console {
namespace {

// An id as a whole number, rounded to the nearest; none for a text that is
// no number or lies outside what the service reads as an id.
std::optional<qint64> idNumber(const QString& text) {
    bool numeric = false;
    const double value = text.trimmed().toDouble(&numeric);
    if (!numeric || !std::isfinite(value)) {
        return std::nullopt;
    }
    const double rounded = std::nearbyint(value);
    if (rounded < double(INT_MIN) || rounded > double(INT_MAX)) {
        return std::nullopt;
    }
    return qint64(rounded);
}

qint64 maxId(const QStringList& ids) {
    qint64 largest = 0;
    for (const QString& id : ids) {
        if (const auto number = idNumber(id); number && *number > largest) {
            largest = *number;
        }
    }
    return largest;
}

} // namespace

QString maxIdText(const QStringList& ids) {
    return QString::number(maxId(ids));
}

QString proposedIdText(const QStringList& ids) {
    const qint64 largest = maxId(ids);
    if (largest < INT_MAX) {
        return QString::number(largest + 1);
    }
    std::set<qint64> used;
    for (const QString& id : ids) {
        if (const auto number = idNumber(id)) {
            used.insert(*number);
        }
    }
    qint64 candidate = 1;
    while (used.count(candidate) != 0) {
        ++candidate;
    }
    return candidate <= INT_MAX ? QString::number(candidate) : QString();
}

bool isServiceId(const QString& id) {
    const QString digits = id.trimmed();
    if (digits.isEmpty() || digits.size() > 10) {
        return false;
    }
    for (const QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            return false;
        }
    }
    const qulonglong value = digits.toULongLong();
    return value >= 1 && value <= qulonglong(INT_MAX);
}

} // namespace console
