#include "console/editors/patch_rule_file.h"

#include "console/editors/record_lines.h"
#include "console/shell/console_trace.h"

#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <climits>

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

bool readType(const QRegularExpressionMatch& match, JTypeDic& types, int index) {
    const QString name = match.captured(1).trimmed();
    if (!types.add(name, match.captured(2).trimmed(), index)) {
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

QString typeLineText(const QString& name, const QString& pattern) {
    return oneLine(QStringLiteral("JIPTYPE  %1 \"%2\"").arg(name, pattern));
}

QString ruleLineText(const PatchRule& rule) {
    const QString key =
        QStringList{rule.host, rule.port, rule.url, textToCode(rule.pos), rule.param}.join(
            QStringLiteral("::"));
    return oneLine(QStringLiteral("JIPRULE  %1  %2  %3::%4-%5")
                       .arg(rule.id, key, rule.jtype, rule.minlen, rule.maxlen));
}

bool sameFields(const PatchRule& a, const PatchRule& b) {
    return a.id == b.id && a.host == b.host && a.port == b.port && a.url == b.url &&
           a.pos == b.pos && a.param == b.param && a.jtype == b.jtype && a.minlen == b.minlen &&
           a.maxlen == b.maxlen;
}

// Where the new records of one kind go: after the kind's last line, else
// at fallback.
int afterLast(const QList<int>& places, int fallback) {
    return places.isEmpty() ? fallback : places.last() + 1;
}

} // namespace

namespace {

// The types and rules of the lines, by the place of their line.
struct ReadLines {
    JTypeDic types;
    QMap<int, int> typeAt; // line -> index in types
    QMap<int, PatchRule> ruleAt;
};

ReadLines readLines(const QByteArrayList& lines) {
    ReadLines read;
    QList<PatchRule> rules;
    for (int i = 0; i < int(lines.size()); ++i) {
        const int typeCount = read.types.count();
        const qsizetype ruleCount = rules.size();
        if (!readPatchRuleLine(lineText(lines[i]), read.types, rules, i)) {
            continue;
        }
        if (read.types.count() > typeCount) {
            read.typeAt.insert(i, typeCount);
        } else if (rules.size() > ruleCount) {
            read.ruleAt.insert(i, rules.last());
        }
    }
    return read;
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

bool readPatchRuleLine(const QString& line, JTypeDic& types, QList<PatchRule>& rules, int index) {
    if (line.startsWith(QLatin1Char('#'))) {
        return false;
    }
    if (const auto match = typeExpression().match(line); match.hasMatch()) {
        return readType(match, types, index);
    }
    if (const auto match = ruleExpression().match(line); match.hasMatch()) {
        rules.append(ruleOf(match));
        rules.last().line = index;
        return true;
    }
    return false;
}

QByteArray patchRuleFile(const QByteArrayList& lines, const JTypeDic& types,
                         const QList<PatchRule>& rules) {
    const ReadLines read = readLines(lines);
    LineEdits edits(lines);
    QSet<int> kept;
    const int rulesAt = afterLast(read.ruleAt.keys(), int(lines.size()));
    const int typesAt = afterLast(
        read.typeAt.keys(), read.ruleAt.isEmpty() ? int(lines.size()) : read.ruleAt.firstKey());
    for (int i = 0; i < types.count(); ++i) {
        const int line = types.line(i);
        const auto was = read.typeAt.constFind(line);
        const QByteArray written = ansiLine(typeLineText(types.key(i), types.value(i)));
        if (was == read.typeAt.cend() || kept.contains(line)) {
            edits.insertBefore(typesAt, written);
            continue;
        }
        kept.insert(line);
        if (read.types.key(*was) != types.key(i) || read.types.value(*was) != types.value(i)) {
            edits.replace(line, {written});
        }
    }
    for (const PatchRule& rule : rules) {
        const auto was = read.ruleAt.constFind(rule.line);
        if (was == read.ruleAt.cend() || kept.contains(rule.line)) {
            edits.insertBefore(rulesAt, ansiLine(ruleLineText(rule)));
            continue;
        }
        kept.insert(rule.line);
        if (!sameFields(*was, rule)) {
            edits.replace(rule.line, {ansiLine(ruleLineText(rule))});
        }
    }
    for (const int line : read.typeAt.keys() + read.ruleAt.keys()) {
        if (!kept.contains(line)) {
            edits.replace(line, {});
        }
    }
    return edits.text();
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

QString oneLine(const QString& text) {
    QString line = text;
    line.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    return line;
}

} // namespace console
