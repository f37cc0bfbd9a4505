#include "console/editors/attack_rule_file.h"

#include "console/editors/record_lines.h"

#include <QMap>
#include <QRegularExpression>
#include <QSet>

namespace console::attackrule {
namespace {

struct TokenText {
    const char* token;
    const char* text;
};

// One table for the four coded fields, each group in the dialog's order.
constexpr TokenText kPairs[] = {
    {"any", "Any"},
    {"method", "HTTP_METHOD"},
    {"url", "URL"},
    {"argget", "QueryString"},
    {"ver", "HTTP_VERSION"},
    {"host", "HOST"},
    {"agent", "User-Agent"},
    {"referer", "Referer"},
    {"proxy", "HTTP_X_FORWARDED_FOR"},
    {"cip", "Client-Ip"},
    {"alan", "Accept-Language"},
    {"cookie", "Cookie"},
    {"argpost", "PostData"},
    {"arg", "Q&C&P"},
    {"raw", "RawData"},
    {"normal", "Normalize"},
    {"find", "String Find"},
    {"regex", "Regex Match"},
    {"!regex", "!Regex Match"},
    {"block", "Block & Log"},
    {"log", "Log"},
};

// The display texts of kPairs[first] up to, not including, kPairs[end].
QStringList textsOf(int first, int end) {
    QStringList texts;
    for (int i = first; i < end; ++i) {
        texts.append(QString::fromUtf8(kPairs[i].text));
    }
    return texts;
}

QRegularExpression lineExpression(const char* pattern) {
    return QRegularExpression(QString::fromLatin1(pattern),
                              QRegularExpression::CaseInsensitiveOption);
}

const QRegularExpression& remarkExpression() {
    static const QRegularExpression expression = lineExpression(R"re(RULEDESC\s+"(.*)")re");
    return expression;
}

const QRegularExpression& ruleExpression() {
    static const QRegularExpression expression =
        lineExpression(R"re(RAWRULE\s+"(.*),(.*),(.*),(.*),(.*)"\s+"(.+)")re");
    return expression;
}

QString joinedLines(const QString& typed, const QString& joint) {
    QString text = typed;
    text.replace(QLatin1String("\r\n"), joint);
    text.replace(QLatin1Char('\r'), joint);
    text.replace(QLatin1Char('\n'), joint);
    return text;
}

} // namespace

const QStringList& positionTexts() {
    static const QStringList texts = textsOf(0, 14);
    return texts;
}

const QStringList& transformTexts() {
    static const QStringList texts = textsOf(14, 16);
    return texts;
}

const QStringList& compareTexts() {
    static const QStringList texts = textsOf(16, 19);
    return texts;
}

const QStringList& handleTexts() {
    static const QStringList texts = textsOf(19, 21);
    return texts;
}

QString codeToText(const QString& token) {
    for (const TokenText& pair : kPairs) {
        if (token == QString::fromUtf8(pair.token)) {
            return QString::fromUtf8(pair.text);
        }
    }
    return token.toLower();
}

QString textToCode(const QString& display) {
    for (const TokenText& pair : kPairs) {
        if (display == QString::fromUtf8(pair.text)) {
            return QString::fromUtf8(pair.token);
        }
    }
    return display.toLower();
}

std::optional<QString> choiceFor(const QString& cell, const QStringList& choices) {
    if (choices.contains(cell)) {
        return cell;
    }
    const QString text = codeToText(cell.toLower());
    if (choices.contains(text)) {
        return text;
    }
    return std::nullopt;
}

std::optional<ReadRule> AttackRuleReader::read(const QString& line, int index) {
    const QRegularExpressionMatch remark = remarkExpression().match(line);
    const QRegularExpressionMatch rule = ruleExpression().match(line);
    const bool remarkFirst =
        remark.hasMatch() && (!rule.hasMatch() || remark.capturedStart() < rule.capturedStart());
    if (remarkFirst) {
        m_remark = remark.captured(1).trimmed();
        m_remarkAt = index;
        return std::nullopt;
    }
    if (!rule.hasMatch()) {
        return std::nullopt;
    }
    ReadRule read{{rule.captured(1).trimmed(), codeToText(rule.captured(2)),
                   codeToText(rule.captured(3)), codeToText(rule.captured(4)),
                   codeToText(rule.captured(5)), rule.captured(6).trimmed(), m_remark},
                  m_remarkAt};
    m_remark.clear();
    m_remarkAt = -1;
    return read;
}

QString ruleLineText(const AttackRule& rule) {
    const QChar quote = QLatin1Char('"');
    const QChar comma = QLatin1Char(',');
    return QStringLiteral("RAWRULE  ") + quote + rule.id + comma + textToCode(rule.tar) + comma +
           textToCode(rule.tran) + comma + textToCode(rule.cm) + comma + textToCode(rule.hd) +
           quote + QStringLiteral("  ") + quote + rule.regex + quote;
}

QString remarkLineText(const QString& remark) {
    return QStringLiteral("RULEDESC  \"") + remark + QLatin1Char('"');
}

namespace {

bool sameFields(const AttackRule& a, const AttackRule& b) {
    return a.id == b.id && a.tar == b.tar && a.tran == b.tran && a.cm == b.cm && a.hd == b.hd &&
           a.regex == b.regex;
}

// The rules the lines hold, by the place of their rule line.
QMap<int, ReadRule> rulesByLine(const QByteArrayList& lines) {
    QMap<int, ReadRule> read;
    AttackRuleReader reader;
    for (int i = 0; i < int(lines.size()); ++i) {
        if (lines[i].startsWith('#')) {
            continue;
        }
        if (std::optional<ReadRule> rule = reader.read(lineText(lines[i]), i)) {
            read.insert(i, *rule);
        }
    }
    return read;
}

// Writes a kept rule's changes over its lines.
void rewriteRule(LineEdits& edits, const QByteArrayList& lines, const ReadRule& was,
                 const PlacedRule& now) {
    QByteArrayList ruleLines;
    if (now.rule.desc != was.rule.desc) {
        const QByteArrayList remark = now.rule.desc.isEmpty()
                                          ? QByteArrayList{}
                                          : QByteArrayList{ansiLine(remarkLineText(now.rule.desc))};
        if (was.remarkAt >= 0) {
            edits.replace(was.remarkAt, remark);
        } else {
            ruleLines = remark;
        }
    }
    const bool same = sameFields(was.rule, now.rule);
    if (same && ruleLines.isEmpty()) {
        return;
    }
    ruleLines.append(same ? lines[now.ruleAt] : ansiLine(ruleLineText(now.rule)));
    edits.replace(now.ruleAt, ruleLines);
}

} // namespace

QByteArray attackRuleFile(const QByteArrayList& lines, const QList<PlacedRule>& rules) {
    const QMap<int, ReadRule> read = rulesByLine(lines);
    LineEdits edits(lines);
    QSet<int> kept;
    const int newRulesAt = read.isEmpty() ? int(lines.size()) : read.lastKey() + 1;
    for (const PlacedRule& placed : rules) {
        const auto was = read.constFind(placed.ruleAt);
        if (was != read.cend() && !kept.contains(placed.ruleAt)) {
            kept.insert(placed.ruleAt);
            rewriteRule(edits, lines, *was, placed);
            continue;
        }
        if (!placed.rule.desc.isEmpty()) {
            edits.insertBefore(newRulesAt, ansiLine(remarkLineText(placed.rule.desc)));
        }
        edits.insertBefore(newRulesAt, ansiLine(ruleLineText(placed.rule)));
    }
    for (auto it = read.cbegin(); it != read.cend(); ++it) {
        if (!kept.contains(it.key())) {
            edits.replace(it.key(), {});
            if (it->remarkAt >= 0) {
                edits.replace(it->remarkAt, {});
            }
        }
    }
    return edits.text();
}

QString patternLine(const QString& typed) {
    return joinedLines(typed, QString());
}

QString remarkLine(const QString& typed) {
    return joinedLines(typed, QStringLiteral(" "));
}

} // namespace console::attackrule
