#pragma once

#include <QString>

#include <functional>

class CacheWindow;
class QWidget;

// Drives a real CacheWindow the way an operator does, through its buttons, and
// times each action up to what the operator waits for.
namespace Driver {

struct Click
{
    // From the click to the first paint of the message box the action opens;
    // negative when no box appeared in time.
    double seconds = -1;
    // Paints of Text3's viewport before the box's first paint: the output was on
    // screen before the message when this is above zero.
    int text3Paints = 0;
    QString boxName; // purgeDoneBox, or failureBox when the action failed
    QString boxText;
};

// Clicks Command1 and times the real slot, CacheWindow::purge(): it reads Text1,
// writes and starts the script, puts the old answers into Text3 and opens its
// "done" message box with exec(). The time stops at the box's first paint, the
// moment the operator sees the message; the window's own pending paint, Text3
// included, is handled by the box's event loop before that (text3Paints says
// whether it was), and the box is then closed through that same loop.
Click clickPurge(CacheWindow *window);

// Clicks Command2 (on success the status query opens no box) and times it up to
// the end of the first paint of Text3 that follows; negative on a timeout.
double clickStatus(CacheWindow *window);

// Reloads the server list as the window does after an added server, and times it
// up to the end of the first paint of List1 that follows.
double reloadServerList(CacheWindow *window);

// Constructs a window with `make`, shows it and times it up to the end of its
// first paint; negative on a timeout. The window is deleted afterwards, outside
// the time.
double startToFirstPaint(const std::function<QWidget *()> &make);

// Empties Text3, then lets every pending event run, so the next click starts
// from a window with nothing left to do.
void resetOutput(CacheWindow *window);

// Runs every pending event, deferred deletes included.
void drainEvents();

// A plain QWidget with the same eleven controls as CacheWindow, at the same
// places, with the same texts and the same items in List1 as a window started
// on a one-server list; nothing else (no tab order, no files, no slots).
QWidget *makeBareWindow();

} // namespace Driver
