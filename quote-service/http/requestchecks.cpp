// The checks on a request's bytes that libmicrohttpd leaves out, and the texts around them: no
// sockets, no library state.
#include "http/httpserver.h"

#include <cctype>
#include <cstring>
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

bool HttpTargetIsClean(const QByteArray& target)
{
    for (qsizetype i = 0; i < target.size(); ++i) {
        const auto byte = static_cast<unsigned char>(target[i]);
        if (byte <= 0x20 || byte == 0x7f)
            return false;
        if (byte != '%' || i + 2 >= target.size())
            continue;
        // an escaped control byte is one too once decoded (a NUL would cut the symbol short)
        if (!std::isxdigit(static_cast<unsigned char>(target[i + 1]))
            || !std::isxdigit(static_cast<unsigned char>(target[i + 2])))
            continue;
        const auto value = static_cast<unsigned char>(QByteArray::fromHex(target.mid(i + 1, 2)).at(0));
        if (value < 0x20 || value == 0x7f)
            return false;
    }
    return true;
}

bool HttpStartIsMalformed(const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return false;
    if (static_cast<unsigned char>(bytes[0]) == 0x16)
        return true; // a TLS handshake
    qsizetype start = 0;
    while (start < bytes.size() && (bytes[start] == '\r' || bytes[start] == '\n'))
        ++start;
    const qsizetype end = bytes.indexOf('\n', start);
    const QByteArray line = bytes.mid(start, end < 0 ? -1 : end - start);
    // method SP target SP version, each part without control bytes
    int spaces = 0;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const auto byte = static_cast<unsigned char>(line[i]);
        if (byte == '\r' && i == line.size() - 1 && end >= 0)
            continue;
        if (byte == ' ') {
            if (++spaces > 2 || i == 0 || line[i - 1] == ' ')
                return true;
            continue;
        }
        if (byte < 0x20 || byte == 0x7f)
            return true;
        if (spaces == 0 && !std::isalnum(byte) && !std::strchr("!#$%&'*+-.^_`|~", byte))
            return true; // a method is a token
    }
    return end >= 0 && (spaces != 2 || !line.mid(line.lastIndexOf(' ') + 1).startsWith("HTTP/"));
}
