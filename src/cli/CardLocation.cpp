#include "cli/CardLocation.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string_view>

namespace {

constexpr std::string_view kSchemeEnd = "://";
constexpr size_t kMaxPortDigits = 5;
constexpr unsigned kMaxPort = 65535;

CardLocationResult Failure(const std::string& text, const std::string& why)
{
    CardLocationResult result;
    result.error = "bad card " + text + ": " + why;
    return result;
}

bool IsAsciiAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }

// A URL scheme: a letter, then letters, digits, '+', '-' or '.'.
bool IsScheme(std::string_view text)
{
    return !text.empty() && IsAsciiAlpha(text.front()) && std::all_of(text.begin(), text.end(), [](char c) {
        return IsAsciiAlpha(c) || IsAsciiDigit(c) || c == '+' || c == '-' || c == '.';
    });
}

std::string Lower(std::string_view text)
{
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) {
        return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    });
    return lower;
}

// A host name or IPv4 address. It never begins with '-': ps2client would
// take it for an option.
bool IsHostName(std::string_view host)
{
    return !host.empty() && host.front() != '-' && host.front() != '.' &&
           std::all_of(host.begin(), host.end(), [](char c) {
               return IsAsciiAlpha(c) || IsAsciiDigit(c) || c == '.' || c == '-' || c == '_';
           });
}

// "[v6 address]".
bool IsBracketedAddress(std::string_view host)
{
    return host.size() > 2 && host.front() == '[' && host.back() == ']' &&
           std::all_of(host.begin() + 1, host.end() - 1, [](char c) {
               return IsAsciiDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || c == ':' || c == '.';
           });
}

bool IsPort(std::string_view port)
{
    if (port.empty() || port.size() > kMaxPortDigits || !std::all_of(port.begin(), port.end(), IsAsciiDigit)) {
        return false;
    }
    unsigned value = 0;
    for (const char c : port) {
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    return value >= 1 && value <= kMaxPort;
}

}  // namespace

CardLocationResult ParseCardLocation(const std::string& text)
{
    if (text.empty()) {
        return Failure(text, "it is empty");
    }
    const size_t schemeEnd = text.find(kSchemeEnd);
    if (schemeEnd == std::string::npos || !IsScheme(std::string_view(text).substr(0, schemeEnd))) {
        CardLocationResult result;
        std::error_code error;
        result.location.kind = std::filesystem::is_regular_file(text, error) ? CardKind::Image : CardKind::Folder;
        result.location.text = text;
        result.location.path = text;
        result.location.slot = "0";
        return result;
    }

    const std::string scheme = Lower(std::string_view(text).substr(0, schemeEnd));
    const bool ftp = scheme == "ftp";
    if (!ftp && scheme != "ps2link") {
        return Failure(text, "unknown kind " + scheme + ":// (a folder, ftp:// or ps2link://)");
    }
    const std::string_view rest = std::string_view(text).substr(schemeEnd + kSchemeEnd.size());
    const size_t slash = rest.find('/');
    if (slash == std::string_view::npos) {
        return Failure(text, "the slot is missing (/0 or /1 after the host)");
    }
    const std::string_view authority = rest.substr(0, slash);
    const std::string_view slot = rest.substr(slash + 1);
    if (slot != "0" && slot != "1") {
        return Failure(text, "the slot must be 0 or 1, and nothing may follow it");
    }

    std::string_view host = authority;
    std::string_view port;
    const size_t close = authority.rfind(']');
    const size_t colon = authority.rfind(':');
    if (colon != std::string_view::npos && (close == std::string_view::npos || colon > close)) {
        host = authority.substr(0, colon);
        port = authority.substr(colon + 1);
        if (!ftp) {
            return Failure(text, "ps2link:// takes no port");
        }
        if (!IsPort(port)) {
            return Failure(text, "the port must be a number from 1 to 65535");
        }
    }
    if (!IsHostName(host) && !(ftp && IsBracketedAddress(host))) {
        return Failure(text, host.empty() ? "the host is missing" : "bad host " + std::string(host));
    }

    CardLocationResult result;
    result.location.kind = ftp ? CardKind::Ftp : CardKind::PS2Link;
    result.location.text = text;
    result.location.address = std::string(authority);
    result.location.slot = std::string(slot);
    return result;
}
