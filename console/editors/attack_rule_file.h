#pragma once

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

// Reads RAWRULE.dat line by line (comment lines already skipped): a remark
// line is kept for the next rule line, which it then belongs to.
class AttackRuleReader {
public:
    std::optional<AttackRule> read(const QString& line);

private:
    QString m_remark;
};

// The file's lines: per rule its RULEDESC line when it has a remark, then
// its RAWRULE line.
QStringList attackRuleLines(const QList<AttackRule>& rules);

// The largest id that reads as a whole number of the service's range
// (rounded to the nearest), "0" when there is none.
QString maxIdText(const QStringList& ids);

// A pattern typed over several lines, joined; a remark's line breaks become blanks.
QString patternLine(const QString& typed);
QString remarkLine(const QString& typed);

} // namespace console::attackrule
