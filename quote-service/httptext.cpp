// The parts of HTTP that are plain text work: no sockets, no library state.
#include "httpserver.h"

#include <cctype>
#include <microhttpd.h>

QByteArray HttpReason(int status)
{
    const char* reason = MHD_get_reason_phrase_for(unsigned(status));
    return reason && *reason ? QByteArray(reason) : QByteArray("Status");
}

QByteArray HttpLogText(const QByteArray& sent)
{
    static const char kHex[] = "0123456789ABCDEF";
    QByteArray text;
    text.reserve(sent.size());
    for (const char ch : sent) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte >= 0x20 && byte <= 0x7e && byte != '\\') {
            text += ch;
            continue;
        }
        text += "\\x";
        text += kHex[byte >> 4];
        text += kHex[byte & 15];
    }
    return text;
}

QByteArray HttpOriginForm(const QByteArray& target)
{
    if (target.startsWith('/'))
        return target;
    // absolute-form: scheme "://" authority, then the path, which may be empty
    const qsizetype scheme = target.indexOf("://");
    if (scheme <= 0 || !std::isalpha(static_cast<unsigned char>(target[0])))
        return {};
    for (qsizetype i = 1; i < scheme; ++i) {
        const auto ch = static_cast<unsigned char>(target[i]);
        if (!std::isalnum(ch) && ch != '+' && ch != '-' && ch != '.')
            return {};
    }
    const qsizetype authority = scheme + 3;
    qsizetype end = authority;
    while (end < target.size() && target[end] != '/' && target[end] != '?' && target[end] != '#')
        ++end;
    if (end == authority)
        return {};
    QByteArray rest = target.mid(end);
    if (!rest.startsWith('/'))
        rest.prepend('/');
    return rest;
}
