#pragma once

// Shows the wait cursor for its lifetime; nests, and does nothing without a GUI application.
class WaitCursor final {
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    bool m_active;
};
