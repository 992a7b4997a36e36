#pragma once

#include <QRect>
#include <QSize>
#include <QString>

#include <variant>
#include <vector>

// The window's controls, where they stand and in which order Tab visits them.
// Positions are kept in twips, the unit the layout was drawn in, and converted
// at 15 twips to a device-independent pixel (96 dpi).
class OutputBox;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
struct WindowControls;

// The member of WindowControls a control is kept in, which also says what kind
// of control it is; none for a label. A row naming a member that is not there
// does not compile.
using ControlSlot = std::variant<std::monostate,                     // a label
                                 QListWidget * WindowControls::*,    // a list box
                                 QLineEdit * WindowControls::*,      // a single-line text box
                                 QPlainTextEdit * WindowControls::*, // multi-line, no wrap, both scroll bars
                                 // the box for the answers: looks and edits like a multi-line
                                 // box, and shows an answer of millions of lines without a wait
                                 OutputBox * WindowControls::*, QPushButton * WindowControls::*>;

struct ControlPlace
{
    QString name; // objectName, which tests and the operator's scripts find it by
    ControlSlot slot;
    QString caption; // label or button caption, or a text box's initial text
    int left;        // twips from the client area's top-left corner
    int top;
    int width;
    int height;
    int tab; // position in the focus order; labels keep theirs but take no focus
    // A label: the control it names, for screen readers and its mnemonic.
    // A box no label names: what a screen reader calls it. Otherwise empty: a
    // button is called by its caption, a labelled control by its label.
    QString names = QString();

    QRect pixelRect() const;
    bool isLabel() const { return std::holds_alternative<std::monostate>(slot); }
};

namespace LayoutTable {

constexpr int kTwipsPerPixel = 15;
constexpr int kClientWidthTwips = 13950;
constexpr int kClientHeightTwips = 8385;

QSize clientSize();
// In the order they meet the eye, left to right, top to bottom.
const std::vector<ControlPlace> &controls();

} // namespace LayoutTable
