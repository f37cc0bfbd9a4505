#include "console/editors/patch_rule_file.h"

#include "console/shell/console_trace.h"

#include <QRegularExpression>
#include <climits>
#include <cmath>
#include <optional>
#include <set>

namespace console {
namespace {

struct Position {
    const char* token;
    const char* text;
};

constexpr Position kPositions[] = {
    {"g", "QueryString"}, {"p", "PostData"},  {"c", "Cookie"},          {"r", "referer"},
    {"u", "user-agent"},  {"i", "client-ip"}, {"x", "x-forwarded-for"}, {"a", "accept-language"},
};

// Longer lines are not records of this file; they also keep the greedy
// expressions' backtracking small.
constexpr qsizetype kLineMax = 8192;

const QRegularExpression& typeExpression() {
    static const QRegularExpression expression(QStringLiteral(R"re(JIPTYPE\s+(.*)\s+"(.*)")re"),
                                               QRegularExpression::CaseInsensitiveOption);
    return expression;
}

const QRegularExpression& ruleExpression() {
    static const QRegularExpression expression(
        QStringLiteral(R"re(JIPRULE\s+(.*)\s+(.*)::(.*)::(.*)::(.*)::(.*)\s+(.*)::(.*)-(.*))re"),
        QRegularExpression::CaseInsensitiveOption);
    return expression;
}

bool readType(const QRegularExpressionMatch& match, JTypeDic& types) {
    const QString name = match.captured(1).trimmed();
    if (!types.add(name, match.captured(2).trimmed())) {
        // The service only ever uses the first type of a name.
        CONSOLE_TRACE("JIPRULE.dat: repeated type %s dropped", name.toUtf8().constData());
        return false;
    }
    return true;
}

PatchRule ruleOf(const QRegularExpressionMatch& match) {
    PatchRule rule;
    rule.id = match.captured(1).trimmed();
    rule.host = match.captured(2).trimmed();
    rule.port = match.captured(3).trimmed();
    rule.url = match.captured(4).trimmed();
    rule.pos = codeToText(match.captured(5));
    rule.param = match.captured(6).trimmed();
    rule.jtype = match.captured(7).trimmed();
    rule.minlen = match.captured(8).trimmed();
    rule.maxlen = match.captured(9).trimmed();
    return rule;
}

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

const QStringList& positionTexts() {
    static const QStringList texts = [] {
        QStringList list;
        for (const Position& position : kPositions) {
            list.append(QString::fromLatin1(position.text));
        }
        return list;
    }();
    return texts;
}

QString codeToText(const QString& token) {
    for (const Position& position : kPositions) {
        if (token == QLatin1String(position.token)) {
            return QString::fromLatin1(position.text);
        }
    }
    return token.toLower();
}

QString textToCode(const QString& display) {
    for (const Position& position : kPositions) {
        if (display == QLatin1String(position.text)) {
            return QString::fromLatin1(position.token);
        }
    }
    return display.toLower();
}

bool readPatchRuleLine(const QString& line, JTypeDic& types, QList<PatchRule>& rules) {
    if (line.startsWith(QLatin1Char('#')) || line.size() > kLineMax) {
        return false;
    }
    if (const auto match = typeExpression().match(line); match.hasMatch()) {
        return readType(match, types);
    }
    if (const auto match = ruleExpression().match(line); match.hasMatch()) {
        rules.append(ruleOf(match));
        return true;
    }
    return false;
}

QStringList patchRuleFileLines(const JTypeDic& types, const QList<PatchRule>& rules) {
    QStringList lines;
    for (int i = 0; i < types.count(); ++i) {
        lines.append(
            oneLine(QStringLiteral("JIPTYPE  %1 \"%2\"").arg(types.key(i), types.value(i))));
    }
    for (const PatchRule& rule : rules) {
        const QString key =
            QStringList{rule.host, rule.port, rule.url, textToCode(rule.pos), rule.param}.join(
                QStringLiteral("::"));
        lines.append(oneLine(QStringLiteral("JIPRULE  %1  %2  %3::%4-%5")
                                 .arg(rule.id, key, rule.jtype, rule.minlen, rule.maxlen)));
    }
    return lines;
}

QString lengthText(const QString& typed) {
    const QString text = typed.trimmed();
    static const QRegularExpression digits(QStringLiteral(R"(^[0-9]{1,10}$)"));
    bool fits = false;
    const qulonglong value = text.toULongLong(&fits);
    if (!digits.match(text).hasMatch() || !fits || value > UINT_MAX) {
        return QStringLiteral("0");
    }
    return text;
}

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
    return QString::number(candidate);
}

QString oneLine(const QString& text) {
    QString line = text;
    line.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    return line;
}

} // namespace console
