#pragma once

#include "platform/httpget.h"

#include <cctype>
#include <optional>
#include <string>

// A quote service on a Unix socket is named "http+unix://" + the socket's path, percent-encoded
// (every '/' as %2F), + the request path: http+unix://%2Frun%2Fuser%2F1000%2Fkolpex-x%2Fquote.sock/PREFIX.
// Only the owner of the socket's directory can connect, which no other account can fill or block.
inline constexpr char kLocalScheme[] = "http+unix://";

struct LocalUrl {
    std::string socketPath;
    std::string target; // path and query, at least "/"
};

// Nothing for a URL of any other scheme or without a socket path.
std::optional<LocalUrl> ParseLocalUrl(const std::string& url);
// Inline and plain C++: the supervisor, which has no Qt, names its socket with it too.
inline std::string LocalServiceUrl(const std::string& socketPath, const std::string& path)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string url = kLocalScheme;
    for (const char ch : socketPath) {
        const auto c = static_cast<unsigned char>(ch);
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            url += ch;
        } else {
            url += '%';
            url += kHex[c >> 4];
            url += kHex[c & 15];
        }
    }
    return url + path;
}

// HTTP/1.1 GET over the socket, with HttpGet's bounds, time-outs and outcomes.
HttpGetResult LocalHttpGet(const LocalUrl& url, const HttpGetOptions& options);
