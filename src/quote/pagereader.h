#pragma once

#include <string>

class Notifier;

// Access to web pages: a blocking HTTP GET and the caption/marker value extraction.
class CPageReader final {
public:
    static constexpr int kDefaultBufferSize = 1'000'000;
    static constexpr int kDefaultTimeoutMs = 30'000;

    explicit CPageReader(Notifier& notifier);

    // The response body byte for byte, or empty. Shows "No Internet connection found." when
    // the server cannot be reached. bufferSize 0 means kDefaultBufferSize.
    std::string Download(const std::string& url, int bufferSize);

    std::string ExtractValue(const std::string& page, const std::string& caption,
        const std::string& startMarker, const std::string& endMarker, int occurrence) const;

    // What the quote service said about the last download's missing quote; empty when nothing.
    const std::string& lastReason() const { return m_lastReason; }

    // Test hook: how long a stalled server is waited for.
    void setTimeoutMs(int ms) { m_timeoutMs = ms; }
    int timeoutMs() const { return m_timeoutMs; }

private:
    Notifier& m_notifier;
    int m_timeoutMs = kDefaultTimeoutMs;
    std::string m_lastReason;
};

std::string CleanValue(std::string text);

// Base URL of the quote service: KOLPEX_QUOTE_SERVICE, or the stand-in service's default address.
std::string QuoteServiceBaseUrl();
inline constexpr const char* kDefaultQuoteService = "http://127.0.0.1:8765";
