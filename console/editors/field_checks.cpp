#include "console/editors/field_checks.h"

#include "console/editors/record_lines.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include "console/shell/language.h"

#include <pcre2.h>

namespace console {
namespace {

constexpr LanguageText kMissingCharacter{"The system's code page has no character ",
                                         "系统代码页中没有字符 ", "系統代碼頁中沒有字符 "};
constexpr LanguageText kPatternError{
    "Regex can not be compiled: ", "规则正则式无法编译: ", "規則正則式無法編譯: "};
constexpr LanguageText kBadId{"Rule ID must be a whole number from 1 to 2147483647!",
                              "规则ID必须为1到2147483647之间的整数!",
                              "規則ID必須為1到2147483647之間的整數!"};

} // namespace

QString missingCharacter(const QString& text) {
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype length = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QString character = text.mid(i, length);
        if (lineText(ansiLine(character)) != character) {
            return character;
        }
        i += length;
    }
    return {};
}

QString patternError(const QString& pattern) {
    const QByteArray bytes = ansiLine(pattern);
    int code = 0;
    PCRE2_SIZE offset = 0;
    pcre2_code* compiled = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(bytes.constData()),
                                         PCRE2_SIZE(bytes.size()), 0, &code, &offset, nullptr);
    if (compiled != nullptr) {
        pcre2_code_free(compiled);
        return {};
    }
    PCRE2_UCHAR message[256];
    pcre2_get_error_message(code, message, sizeof message);
    return QStringLiteral("%1 (offset %2)")
        .arg(QString::fromLatin1(reinterpret_cast<const char*>(message)))
        .arg(qulonglong(offset));
}

QString missingCharacterMessage(const QString& character) {
    return kMissingCharacter.text() + QLatin1Char('"') + character + QStringLiteral("\"!");
}

QString patternErrorMessage(const QString& error) {
    return kPatternError.text() + error;
}

QString badIdMessage() {
    return kBadId.text();
}

} // namespace console
