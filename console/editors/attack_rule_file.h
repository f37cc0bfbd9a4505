#pragma once

#include <QByteArrayList>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace console::attackrule {

// One attack rule as the list shows it: the coded fields as display texts.
struct AttackRule {
    QString id;
    QString tar;
    QString tran;
    QString cm;
    QString hd;
    QString regex;
    QString desc;
};

// The display texts of each coded field, in the order of the dialog's lists.
const QStringList& positionTexts();
const QStringList& transformTexts();
const QStringList& compareTexts();
const QStringList& handleTexts();

// Token to display text and back over one table of all four fields;
// exact and case-sensitive, and what is not in the table comes back in
// lower case.
QString codeToText(const QString& token);
QString textToCode(const QString& display);

// The entry of choices that a cell text stands for: the entry itself, else
// the entry whose token the text is (the service reads tokens in any case);
// nothing when it is neither.
std::optional<QString> choiceFor(const QString& cell, const QStringList& choices);

// A rule as read, with the place of the remark line it took its remark from
// (-1: none).
struct ReadRule {
    AttackRule rule;
    int remarkAt = -1;
};

// Reads RAWRULE.dat line by line (comment lines already skipped): a remark
// line is kept for the next rule line, which it then belongs to. A line is
// a rule or a remark by the keyword that comes first in it, so a pattern
// may hold a remark's keyword and a remark a rule's.
class AttackRuleReader {
public:
    // index: the line's place in the file.
    std::optional<ReadRule> read(const QString& line, int index = -1);

private:
    QString m_remark;
    int m_remarkAt = -1;
};

// A rule of the list and the lines it was read from (-1: a new rule).
struct PlacedRule {
    AttackRule rule;
    int ruleAt = -1;
    int remarkAt = -1;
};

// The file that a save of rules makes of the lines it was read from: a rule
// that changed is written in place, a deleted rule's lines go, new rules
// follow the file's last rule line; every other line stays as it was.
QByteArray attackRuleFile(const QByteArrayList& lines, const QList<PlacedRule>& rules);

// The written form of a rule's line and of a remark's line.
QString ruleLineText(const AttackRule& rule);
QString remarkLineText(const QString& remark);

// A pattern typed over several lines, joined; a remark's line breaks become blanks.
QString patternLine(const QString& typed);
QString remarkLine(const QString& typed);

} // namespace console::attackrule
