#include "shared/private_names.h"

#include <atomic>
#include <cstdio>
#include <random>
#include <string_view>

#include "platform/platform.h"

namespace {

constexpr const char* kRunLockSuffix = ".run";

}  // namespace

const std::string& run_id()
{
    static const std::string id = [] {
        char random[9];
        std::snprintf(random, sizeof random, "%08x", static_cast<unsigned>(std::random_device{}()));
        return std::to_string(platform::process_id()) + "r" + random;
    }();
    return id;
}

std::string private_name(const std::string& suffix)
{
    static std::atomic<unsigned long> counter{0};
    return kPrivatePrefix + run_id() + "-" + std::to_string(counter++) + suffix;
}

namespace {

// Drops the characters at the front of `text` that `accepted` takes; returns
// how many there were.
template <typename Accepted>
size_t skip(std::string_view& text, Accepted accepted)
{
    size_t count = 0;
    while (count < text.size() && accepted(static_cast<unsigned char>(text[count]))) ++count;
    text.remove_prefix(count);
    return count;
}

bool is_digit(unsigned char c) { return c >= '0' && c <= '9'; }
bool is_hex_digit(unsigned char c) { return is_digit(c) || (c >= 'a' && c <= 'f'); }

// Drops `prefix` from the front of `text`; false when it is not there.
bool skip_text(std::string_view& text, std::string_view prefix)
{
    if (text.substr(0, prefix.size()) != prefix) return false;
    text.remove_prefix(prefix.size());
    return true;
}

}  // namespace

std::string run_of(const std::string& name)
{
    std::string_view rest = name;
    if (!skip_text(rest, kPrivatePrefix)) return "";
    const std::string_view run = rest;
    if (skip(rest, is_digit) == 0 || !skip_text(rest, "r") || skip(rest, is_hex_digit) != 8) return "";
    const std::string id(run.substr(0, run.size() - rest.size()));
    if (rest == kRunLockSuffix) return id;
    if (!skip_text(rest, "-") || skip(rest, is_digit) == 0) return "";
    return rest == ".tmp" || rest == ".bak" || rest == ".jnl" ? id : "";
}

bool named_like_private(const std::string& name) { return name.rfind(".it4-", 0) == 0 || name.rfind(".it4~", 0) == 0; }

std::string run_lock_name(const std::string& run) { return kPrivatePrefix + run + kRunLockSuffix; }

