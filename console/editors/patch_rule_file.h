#pragma once

#include "console/editors/jtype_dic.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace console {

// One constraint of the patch-rule file as the window holds it: every field
// text, the position as its display text.
struct PatchRule {
    QString id;
    QString host;
    QString port;
    QString url;
    QString pos;
    QString param;
    QString jtype;
    QString minlen;
    QString maxlen;
};

// The eight position display texts, in the order of the dialog's list.
const QStringList& positionTexts();
// Token to display text and back; what is not in the table comes back in lower case.
QString codeToText(const QString& token);
QString textToCode(const QString& display);

// Reads one line of the file into the types or the rules. Comment lines,
// lines of other kinds and a repeated type name add nothing; the answer
// says whether the line added something.
bool readPatchRuleLine(const QString& line, JTypeDic& types, QList<PatchRule>& rules);

// The whole file: the types in dictionary order, then the rules.
QStringList patchRuleFileLines(const JTypeDic& types, const QList<PatchRule>& rules);

// A length field as it is stored: its digits, "0" for anything the service
// could not read as a length.
QString lengthText(const QString& typed);

// The largest of the ids that read as whole numbers, "0" when there is none.
QString maxIdText(const QStringList& ids);
// The id Add proposes: the largest plus one, or the smallest unused
// positive id when the largest is the last one the service can read.
QString proposedIdText(const QStringList& ids);

// The text with every line break turned into a blank, so that a field
// never splits its record.
QString oneLine(const QString& text);

} // namespace console
