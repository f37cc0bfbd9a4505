#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace ostrum::updater {

// The three parts of the system that have packages, in the reply's order.
enum class Package { Product = 0, Rule = 1, Driver = 2 };
constexpr std::array<Package, 3> kPackages = {Package::Product, Package::Rule, Package::Driver};

struct PackageOffer {
    std::string version;
    std::string url;
    std::string hash; // upper-case MD5 text
};

// The update server's answer: "version,url,hash" for the product, the rule
// set and the driver, nine fields in all.
struct UpdateReply {
    std::array<PackageOffer, 3> offers;
    const PackageOffer& offer(Package package) const { return offers[size_t(package)]; }
};

// Longest reply taken; the server sends one short line.
constexpr size_t kMaxReplySize = 64 * 1024;

// Splits the reply at "," into exactly nine fields, each trimmed of blanks
// and line ends. False (and out untouched) for anything else.
[[nodiscard]] bool parseUpdateReply(std::string_view reply, UpdateReply& out);

// The names the fields are traced under, in the reply's order.
const std::array<std::string_view, 9>& replyFieldNames();

// Versions compare as text, character by character: "10.0" is older than "9.0".
bool versionIsNewer(std::string_view offered, std::string_view installed);

// An offer is a package when its version is newer and its address has at
// least 8 characters.
bool offerIsUpdate(const PackageOffer& offer, std::string_view installed);

// The text after the last "/" of an address.
std::string urlFileName(std::string_view url);

// A name that stays inside its folder: not empty, not "." or "..", and free
// of path separators and control characters.
bool isPlainFileName(std::string_view name);

} // namespace ostrum::updater
