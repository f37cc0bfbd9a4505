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
// Longest version taken: the versions are short numbers, and each is written
// into ostrum.cfg and sent back with every check.
constexpr size_t kMaxVersionSize = 32;
// Longest package address taken: what servers and proxies commonly accept.
constexpr size_t kMaxAddressSize = 2048;

// Why a reply was refused.
enum class ReplyFault {
    None,
    FieldCount, // too long, or not nine fields
    Field,      // a field that is not what its place holds
};

struct ReplyCheck {
    ReplyFault fault = ReplyFault::None;
    size_t field = 0; // with ReplyFault::Field: the first bad field, 0 to 8
    explicit operator bool() const { return fault == ReplyFault::None; }
};

// Splits the reply at "," into exactly nine fields, each trimmed of blanks
// and line ends at its ends, and checks each field for its place. On any
// fault out stays untouched.
[[nodiscard]] ReplyCheck parseUpdateReply(std::string_view reply, UpdateReply& out);

// The fields as the reply may hold them; empty means "no package" in each.
// A version: printable ASCII without blanks, at most kMaxVersionSize long.
bool isVersionField(std::string_view field);
// An address: an http or https URL with a host, printable ASCII without blanks.
bool isAddressField(std::string_view field);
// A digest: 32 hexadecimal digits.
bool isDigestField(std::string_view field);

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
