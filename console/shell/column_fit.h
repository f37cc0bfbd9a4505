#pragma once

class QTreeWidget;

namespace console {

// A cell wider than this (a long URL of an attack, a long rule pattern)
// stays cut rather than pushing every other column out of sight.
constexpr int kMaxColumnPixels = 1200;

// Widens each column of the list that is too narrow for its caption or for
// one of its cells, up to a bound; a column is never narrowed, so the
// designed widths and the user's own stay where they are wide enough.
void fitColumns(QTreeWidget* list);

} // namespace console
