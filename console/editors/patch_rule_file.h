#pragma once

#include "console/editors/jtype_dic.h"

#include <QByteArrayList>
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
    int line = -1; // the file line it was read from; -1: a new rule
};

// The eight position display texts, in the order of the dialog's list.
const QStringList& positionTexts();
// Token to display text and back; what is not in the table comes back in lower case.
QString codeToText(const QString& token);
QString textToCode(const QString& display);

// Reads one line of the file into the types or the rules, noting index as
// the place it was read from. Comment lines, lines of other kinds and a
// repeated type name add nothing; the answer says whether the line added
// something.
bool readPatchRuleLine(const QString& line, JTypeDic& types, QList<PatchRule>& rules,
                       int index = -1);

// The file that a save of types and rules makes of the lines they were read
// from: what changed is written in place, what was deleted goes, new types
// follow the file's last type line (or come before its first rule), new
// rules follow its last rule line; every other line stays as it was.
QByteArray patchRuleFile(const QByteArrayList& lines, const JTypeDic& types,
                         const QList<PatchRule>& rules);

// A length field as it is stored: its digits, "0" for anything the service
// could not read as a length.
QString lengthText(const QString& typed);

// The text with every line break turned into a blank, so that a field
// never splits its record.
QString oneLine(const QString& text);

} // namespace console
