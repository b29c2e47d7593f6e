#pragma once

#include <cstddef>
#include <string>

// A blocking HTTP GET on the user-interface thread. It waits in a local event loop that keeps
// repainting and timers going but holds back user input, so a timer that fires meanwhile may
// call in again (callers guard against that themselves).
struct HttpGetOptions {
    std::size_t bufferSize = 1'000'000; // largest single read
    int timeoutMs = 30'000; // longest silence before giving up
    std::size_t maxBodyBytes = 16u * 1024 * 1024;
    const char* userAgent = "Microsoft Internet Explorer";
};

struct HttpGetResult {
    enum class Outcome {
        Complete, // the whole body arrived (whatever the HTTP status)
        Unreachable, // refused, name not resolved, no answer in time: nothing at all received
        Incomplete, // the connection failed or went silent part-way; body holds what came
        Truncated, // the body reached maxBodyBytes; reading stopped there
    };
    Outcome outcome = Outcome::Unreachable;
    int httpStatus = 0; // 0 when no response head arrived
    std::string body; // byte for byte, no character-set conversion
    std::string serviceReason; // the quote service's X-Kolpex-Reason: why it has no quote
    std::size_t largestRead = 0;
};

HttpGetResult HttpGet(const std::string& url, const HttpGetOptions& options);
