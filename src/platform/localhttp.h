#pragma once

#include "platform/httpget.h"

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
std::string LocalServiceUrl(const std::string& socketPath, const std::string& path);

// HTTP/1.1 GET over the socket, with HttpGet's bounds, time-outs and outcomes.
HttpGetResult LocalHttpGet(const LocalUrl& url, const HttpGetOptions& options);
