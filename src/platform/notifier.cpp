#include "platform/notifier.h"

#include "platform/textcodec.h"

#include <cstdio>

void RecordingNotifier::showMessage(const std::string& text)
{
    showMessageWithDetails(text, {});
}

void RecordingNotifier::showMessageWithDetails(const std::string& text, const std::string& detail)
{
    messages.push_back(text);
    details.push_back(detail);
    if (whileShowing)
        whileShowing(text);
}

void StderrNotifier::showMessage(const std::string& text)
{
    const std::string utf8 = Cp1252ToUtf8(text);
    std::fprintf(stderr, "%s\n", utf8.c_str());
}
