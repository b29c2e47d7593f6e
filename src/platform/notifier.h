#pragma once

#include <functional>
#include <string>
#include <vector>

// Every message the user must see goes through one of these. showMessage blocks like a modal
// message box with an OK button: it returns once the user has closed it.
class Notifier {
public:
    virtual ~Notifier() = default;
    virtual void showMessage(const std::string& text) = 0; // code page 1252
    // The same box, with details one click away ("Show Details..."); none when details is empty.
    virtual void showMessageWithDetails(const std::string& text, const std::string& /*details*/)
    {
        showMessage(text);
    }
    // From now on (an exit nobody may be there to watch: a signal, the session ending) a message
    // waits at most this long for its answer, one already open included, and also goes to the log.
    virtual void limitWaiting(int /*milliseconds*/) { }
};

// Test hook: records each text instead of showing it, and can run a callback while the
// "box" is open (to provoke what a modal loop would let through).
class RecordingNotifier final : public Notifier {
public:
    void showMessage(const std::string& text) override;
    void showMessageWithDetails(const std::string& text, const std::string& details) override;

    std::vector<std::string> messages;
    std::vector<std::string> details; // one per message, empty when it had none
    std::function<void(const std::string&)> whileShowing;
};

// The command-line tools' notifier: one line on standard error per message.
class StderrNotifier final : public Notifier {
public:
    void showMessage(const std::string& text) override;
};
