#pragma once

#include <QString>
#include <QStringList>

namespace console {

// Rule ids as the service reads them: whole numbers from 1 to the largest
// signed 32-bit number; it drops a rule with any other id.

// The largest of the ids that read as whole numbers of that range (rounded
// to the nearest), "0" when there is none.
QString maxIdText(const QStringList& ids);

// The id Add proposes: the largest plus one, or, when the largest is the
// last one the service reads, the smallest unused id; empty when every id
// is taken.
QString proposedIdText(const QStringList& ids);

// Whether the service loads a rule with this id text: digits only (blanks
// around them allowed), 1 to the largest signed 32-bit number.
bool isServiceId(const QString& id);

} // namespace console
