#pragma once

#include <string>
#include <string_view>

namespace ostrum {

// List codes of the list file's keywords.
enum ListCode : int {
    WL_IP = 0,
    WL_URL = 1,
    WL_EXT = 2,
    WL_HOST = 3,
    BL_IP = 4,
    BL_URL = 5,
    BL_EXT = 6,
    BL_HOST = 7,
};

// One entry of wblist.dat; the value lower-cased.
struct wblistitem {
    std::string value;
    int listcode = 0;
};

// The code of a list keyword ("WL_IP" ... "BL_HOST"), -1 for anything else.
int listCodeOf(std::string_view keyword);
// The keyword of a list code; empty for anything else.
std::string_view listKeyword(int listcode);

// Lower-cases A to Z only, in place: the form list values are compared in.
void lowerListValue(std::string& value);

// One entry line of wblist.dat: a keyword, blanks or tabs, and a non-empty
// value in double quotes, spanning the whole line. false for anything else.
bool parseListLine(const std::string& line, wblistitem& item);

} // namespace ostrum
