#include "console/editors/attack_rule_file.h"

#include <QRegularExpression>
#include <cmath>
#include <cstdint>

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

std::optional<AttackRule> AttackRuleReader::read(const QString& line) {
    const QRegularExpressionMatch remark = remarkExpression().match(line);
    if (remark.hasMatch()) {
        m_remark = remark.captured(1).trimmed();
        return std::nullopt;
    }
    const QRegularExpressionMatch rule = ruleExpression().match(line);
    if (!rule.hasMatch()) {
        return std::nullopt;
    }
    AttackRule row{rule.captured(1).trimmed(),
                   codeToText(rule.captured(2)),
                   codeToText(rule.captured(3)),
                   codeToText(rule.captured(4)),
                   codeToText(rule.captured(5)),
                   rule.captured(6).trimmed(),
                   m_remark};
    m_remark.clear();
    return row;
}

QStringList attackRuleLines(const QList<AttackRule>& rules) {
    QStringList lines;
    const QChar quote = QLatin1Char('"');
    const QChar comma = QLatin1Char(',');
    for (const AttackRule& rule : rules) {
        if (!rule.desc.isEmpty()) {
            lines.append(QStringLiteral("RULEDESC  ") + quote + rule.desc + quote);
        }
        lines.append(QStringLiteral("RAWRULE  ") + quote + rule.id + comma + textToCode(rule.tar) +
                     comma + textToCode(rule.tran) + comma + textToCode(rule.cm) + comma +
                     textToCode(rule.hd) + quote + QStringLiteral("  ") + quote + rule.regex +
                     quote);
    }
    return lines;
}

QString maxIdText(const QStringList& ids) {
    qint64 largest = 0;
    for (const QString& id : ids) {
        bool number = false;
        const double value = id.trimmed().toDouble(&number);
        if (!number || !std::isfinite(value)) {
            continue;
        }
        const double rounded = std::nearbyint(value);
        if (rounded >= double(INT32_MIN) && rounded <= double(INT32_MAX)) {
            largest = std::max(largest, qint64(rounded));
        }
    }
    return QString::number(largest);
}

QString patternLine(const QString& typed) {
    return joinedLines(typed, QString());
}

QString remarkLine(const QString& typed) {
    return joinedLines(typed, QStringLiteral(" "));
}

} // namespace console::attackrule
