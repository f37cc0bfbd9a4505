#pragma once

#include "updater/update_reply.h"

#include <string_view>

namespace ostrum::updater {

// What the run says and writes about each package.
struct PackageTexts {
    std::string_view needsUpdate; // followed by the new version
    std::string_view downloaded;
    std::string_view versionKey; // of ostrum.cfg
};

inline const PackageTexts& packageTexts(Package package) {
    static constexpr PackageTexts kTexts[] = {
        {"Ostrum需要升级，新的版本：", "下载Ostrum升级包成功!", "ostrum_ver"},
        {"规则需要升级，新的版本：", "下载规则升级包成功!", "rule_ver"},
        {"驱动需要升级，新的版本：", "下载驱动升级包成功!", "driver_ver"},
    };
    return kTexts[size_t(package)];
}

} // namespace ostrum::updater
