#include "platform/httpget.h"

#include "platform/localhttp.h"
#include "platform/transferclock.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>
#include <algorithm>
#include <memory>
#include <vector>

namespace {

QUrl ToUrl(const std::string& url)
{
    // The caller has encoded what needs encoding; keep its bytes as they are.
    return QUrl::fromEncoded(QByteArray(url.data(), static_cast<qsizetype>(url.size())), QUrl::TolerantMode);
}

} // namespace

HttpGetResult HttpGet(const std::string& url, const HttpGetOptions& options)
{
    if (const std::optional<LocalUrl> local = ParseLocalUrl(url))
        return LocalHttpGet(*local, options);
    HttpGetResult result;
    const std::size_t bufferSize = std::max<std::size_t>(options.bufferSize, 1);
    std::vector<char> buffer(bufferSize);

    const QUrl qurl = ToUrl(url);
    if (!qurl.isValid() || qurl.host().isEmpty())
        return result;

    QNetworkProxyFactory::setUseSystemConfiguration(true);
    QNetworkAccessManager manager;
    manager.setCache(nullptr);
    QNetworkRequest request(qurl);
    request.setHeader(QNetworkRequest::UserAgentHeader, QByteArray(options.userAgent));
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);

    std::unique_ptr<QNetworkReply> reply(manager.get(request));
    QEventLoop loop;
    QObject context;
    bool headReceived = false;
    bool truncated = false;
    TransferClock clock(options.timeoutMs, loop);

    const auto drain = [&] {
        while (!truncated && reply->bytesAvailable() > 0) {
            const std::size_t room = options.maxBodyBytes - result.body.size();
            const auto want = static_cast<qint64>(std::min(bufferSize, room));
            const qint64 got = reply->read(buffer.data(), want);
            if (got <= 0)
                break;
            result.largestRead = std::max(result.largestRead, static_cast<std::size_t>(got));
            result.body.append(buffer.data(), static_cast<std::size_t>(got));
            if (result.body.size() >= options.maxBodyBytes) {
                truncated = true;
                loop.quit();
            }
        }
    };
    QObject::connect(reply.get(), &QNetworkReply::metaDataChanged, &context, [&] {
        headReceived = true;
        clock.heard();
    });
    QObject::connect(reply.get(), &QNetworkReply::readyRead, &context, [&] {
        clock.heard();
        drain();
    });
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);

    clock.start();
    if (!reply->isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    clock.stop();
    const bool timedOut = clock.timedOut();

    if (!timedOut && !truncated)
        drain();
    QObject::disconnect(reply.get(), nullptr, &context, nullptr);
    QObject::disconnect(reply.get(), nullptr, &loop, nullptr);

    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid()) {
        headReceived = true;
        result.httpStatus = status.toInt();
    }
    result.serviceReason = reply->rawHeader("X-Kolpex-Reason").left(400).toStdString();
    const QNetworkReply::NetworkError error = reply->error();
    if (!reply->isFinished())
        reply->abort();

    if (truncated) {
        result.outcome = HttpGetResult::Outcome::Truncated;
    } else if (!headReceived && result.body.empty()) {
        result.outcome = HttpGetResult::Outcome::Unreachable;
    } else if (timedOut) {
        result.outcome = HttpGetResult::Outcome::Incomplete;
    } else if (error == QNetworkReply::NoError || error >= QNetworkReply::ContentAccessDenied) {
        // Error statuses and protocol complaints after the head: the server answered, and what
        // it sent is the body.
        result.outcome = HttpGetResult::Outcome::Complete;
    } else {
        result.outcome = HttpGetResult::Outcome::Incomplete;
    }
    return result;
}
