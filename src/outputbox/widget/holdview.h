#pragma once

// Holds the output box's view still over the caret moves made while it lives:
// a drag, a double click or Select All leave the view where it is, as
// QPlainTextEdit's do. It counts on the box's depth of holds.
class HoldView
{
public:
    explicit HoldView(int &depth)
        : m_depth(depth)
    {
        ++m_depth;
    }
    ~HoldView() { --m_depth; }
    HoldView(const HoldView &) = delete;
    HoldView &operator=(const HoldView &) = delete;

private:
    int &m_depth;
};
