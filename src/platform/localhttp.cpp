#include "platform/localhttp.h"

#include "platform/transferclock.h"

#include <QEventLoop>
#include <QLocalSocket>
#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

namespace {

constexpr std::size_t kMaxHeadBytes = 64 * 1024;

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string PercentDecode(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0
            && HexDigit(text[i + 2]) >= 0) {
            out += char(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string Lower(std::string text)
{
    for (char& c : text)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string Trim(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t");
    const auto last = text.find_last_not_of(" \t");
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

struct Head {
    int status = 0;
    std::optional<std::size_t> contentLength;
    bool chunked = false;
    std::string reason;
};

std::optional<Head> ParseHead(const std::string& head)
{
    if (head.size() < 12 || head.compare(0, 7, "HTTP/1.") != 0 || head[8] != ' ')
        return std::nullopt;
    Head parsed;
    for (std::size_t i = 9; i < 12; ++i) {
        if (head[i] < '0' || head[i] > '9')
            return std::nullopt;
        parsed.status = parsed.status * 10 + (head[i] - '0');
    }
    std::size_t at = head.find("\r\n");
    while (at != std::string::npos && at + 2 < head.size()) {
        const std::size_t end = head.find("\r\n", at + 2);
        const std::string line = head.substr(at + 2, (end == std::string::npos ? head.size() : end) - at - 2);
        at = end;
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        const std::string name = Lower(Trim(line.substr(0, colon)));
        const std::string value = Trim(line.substr(colon + 1));
        if (name == "content-length") {
            char* stop = nullptr;
            const unsigned long long length = std::strtoull(value.c_str(), &stop, 10);
            if (value.empty() || *stop != '\0')
                return std::nullopt;
            parsed.contentLength = std::size_t(length);
        } else if (name == "transfer-encoding") {
            parsed.chunked = Lower(value).find("chunked") != std::string::npos;
        } else if (name == "x-kolpex-reason") {
            parsed.reason = value.substr(0, 400);
        }
    }
    return parsed;
}

// The whole chunked body, or nothing when it is cut short or malformed.
std::optional<std::string> Unchunk(const std::string& raw)
{
    std::string body;
    std::size_t at = 0;
    for (;;) {
        const std::size_t lineEnd = raw.find("\r\n", at);
        if (lineEnd == std::string::npos)
            return std::nullopt;
        char* stop = nullptr;
        const std::string sizeText = raw.substr(at, lineEnd - at);
        const unsigned long long size = std::strtoull(sizeText.c_str(), &stop, 16);
        if (stop == sizeText.c_str() || (*stop != '\0' && *stop != ';'))
            return std::nullopt;
        at = lineEnd + 2;
        if (size == 0)
            return body;
        if (size > raw.size() - at)
            return std::nullopt;
        body.append(raw, at, std::size_t(size));
        at += std::size_t(size) + 2;
    }
}

} // namespace

std::optional<LocalUrl> ParseLocalUrl(const std::string& url)
{
    const std::size_t schemeLength = std::strlen(kLocalScheme);
    if (url.size() <= schemeLength || Lower(url.substr(0, schemeLength)) != kLocalScheme)
        return std::nullopt;
    const std::size_t slash = url.find('/', schemeLength);
    LocalUrl local;
    local.socketPath = PercentDecode(url.substr(schemeLength, slash - schemeLength));
    local.target = slash == std::string::npos ? "/" : url.substr(slash);
    if (local.socketPath.empty() || local.socketPath.find('\0') != std::string::npos)
        return std::nullopt;
    return local;
}

HttpGetResult LocalHttpGet(const LocalUrl& url, const HttpGetOptions& options)
{
    HttpGetResult result;
    const std::size_t bufferSize = std::max<std::size_t>(options.bufferSize, 1);
    std::vector<char> buffer(bufferSize);
    QLocalSocket socket;
    QEventLoop loop;
    std::string head;
    std::optional<Head> parsed;
    std::string raw; // the body as it came, chunked or not
    bool received = false;
    bool truncated = false;
    bool malformed = false;

    TransferClock clock(options.timeoutMs, loop);
    const auto done = [&] {
        return parsed && !parsed->chunked && parsed->contentLength && raw.size() >= *parsed->contentLength;
    };

    const auto drain = [&] {
        while (!truncated && !malformed && !done() && socket.bytesAvailable() > 0) {
            const qint64 got = socket.read(buffer.data(), qint64(bufferSize));
            if (got <= 0)
                break;
            received = true;
            result.largestRead = std::max(result.largestRead, std::size_t(got));
            if (parsed) {
                raw.append(buffer.data(), std::size_t(got));
            } else {
                head.append(buffer.data(), std::size_t(got));
                const std::size_t end = head.find("\r\n\r\n");
                if (end == std::string::npos) {
                    malformed = head.size() > kMaxHeadBytes;
                    continue;
                }
                raw = head.substr(end + 4);
                head.resize(end + 2);
                parsed = ParseHead(head);
                malformed = !parsed;
            }
            if (parsed && !parsed->chunked && parsed->contentLength && raw.size() > *parsed->contentLength)
                raw.resize(*parsed->contentLength); // nothing after the answer is ours to read
            const std::size_t bound = options.maxBodyBytes + (parsed && parsed->chunked ? kMaxHeadBytes : 0);
            if (parsed && raw.size() >= bound) {
                raw.resize(bound);
                truncated = true;
            }
        }
        if (truncated || malformed || done())
            loop.quit();
    };
    QObject::connect(&socket, &QLocalSocket::readyRead, &loop, [&] {
        clock.heard();
        drain();
    });
    QObject::connect(&socket, &QLocalSocket::disconnected, &loop, &QEventLoop::quit);
    QObject::connect(&socket, &QLocalSocket::errorOccurred, &loop, &QEventLoop::quit);
    QObject::connect(&socket, &QLocalSocket::connected, &loop, [&] {
        std::string request = "GET " + url.target + " HTTP/1.1\r\nHost: localhost\r\nUser-Agent: "
            + options.userAgent + "\r\nConnection: close\r\n\r\n";
        socket.write(request.data(), qint64(request.size()));
    });

    clock.start();
    socket.connectToServer(QString::fromLocal8Bit(url.socketPath.data(), qsizetype(url.socketPath.size())));
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    const bool timedOut = clock.timedOut();
    if (!timedOut)
        drain();
    clock.stop();
    socket.abort();

    if (parsed) {
        result.httpStatus = parsed->status;
        result.serviceReason = parsed->reason;
    }
    if (!received) {
        result.outcome = HttpGetResult::Outcome::Unreachable;
        return result;
    }
    if (parsed && parsed->chunked) {
        std::optional<std::string> body = Unchunk(raw);
        if (body && body->size() > options.maxBodyBytes) {
            body->resize(options.maxBodyBytes);
            truncated = true;
        }
        result.body = body ? std::move(*body) : std::string();
        result.outcome = truncated ? HttpGetResult::Outcome::Truncated
            : body                 ? HttpGetResult::Outcome::Complete
                                   : HttpGetResult::Outcome::Incomplete;
        return result;
    }
    const bool whole = parsed && !malformed && !timedOut && (!parsed->contentLength || done());
    result.outcome = truncated ? HttpGetResult::Outcome::Truncated
        : whole                ? HttpGetResult::Outcome::Complete
                               : HttpGetResult::Outcome::Incomplete;
    result.body = parsed ? std::move(raw) : std::move(head);
    return result;
}
