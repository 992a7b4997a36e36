#pragma once

// The output box (Text3) beside the QPlainTextEdit it replaces, set up as Text3
// was: one window holding both, and the steps played on each. tst_outputbox
// compares what single calls leave; tst_outputboxdiff plays whole step lists
// and compares after every step.

#include "outputbox/widget/outputbox.h"
#include "outputbox/document/outputdocument.h"
#include "window/boxtext.h"
#include "window/textarea.h"

#include "stepscript.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QtTest>

#include <array>
#include <functional>

// Text3's size in the window.
inline const QSize kText3Size(905, 321);

// What a step leaves that the two boxes must agree on.
struct BoxState
{
    QString text;
    int position = 0;
    int anchor = 0;
    bool undo = false;
    bool redo = false;
    int values[2][2] = {}; // horizontal, vertical: value, maximum
    QString clipboard;
    QString note; // what the step itself saw, such as a drop refused
    QImage pixels;
    QRect caret;
    QRect composingCaret;
};

// One box as the steps see it: the public API of each kind.
struct BoxSide
{
    QAbstractScrollArea *area;
    std::function<BoxState()> state;
    std::function<QRect()> caret;
    std::function<void(int, int)> select;
};

inline BoxSide sideOf(QPlainTextEdit *box)
{
    const auto state = [box] {
        BoxState s;
        s.text = BoxText::text(box);
        s.position = box->textCursor().position();
        s.anchor = box->textCursor().anchor();
        s.undo = box->document()->isUndoAvailable();
        s.redo = box->document()->isRedoAvailable();
        return s;
    };
    const auto select = [box](int anchor, int position) {
        QTextCursor cursor = box->textCursor();
        cursor.setPosition(anchor);
        cursor.setPosition(position, QTextCursor::KeepAnchor);
        box->setTextCursor(cursor);
    };
    return {box, state, [box] { return box->cursorRect(); }, select};
}

inline BoxSide sideOf(OutputBox *box)
{
    const auto state = [box] {
        BoxState s;
        s.text = box->document()->text();
        s.position = box->document()->cursorPosition();
        s.anchor = box->document()->anchorPosition();
        s.undo = box->document()->isUndoAvailable();
        s.redo = box->document()->isRedoAvailable();
        return s;
    };
    return {box, state, [box] { return box->cursorRect(); },
            [box](int anchor, int position) { box->document()->setSelection(anchor, position); }};
}

// Both boxes in one window, the reference above, neither focused: focus would
// make either side depend on the window system's activation.
struct SideBySide
{
    SideBySide()
    {
        window.resize(kText3Size.width(), 2 * kText3Size.height() + 10);
        reference = TextArea::make(&window);
        box = new OutputBox(&window);
        reference->setGeometry(QRect(QPoint(0, 0), kText3Size));
        box->setGeometry(QRect(QPoint(0, kText3Size.height() + 10), kText3Size));
        reference->setFocusPolicy(Qt::NoFocus);
        box->setFocusPolicy(Qt::NoFocus);
        window.show();
    }
    void setText(const QString &text)
    {
        BoxText::setText(reference, text);
        box->document()->setText(QString(text));
    }
    // The same selection in both.
    void select(int anchor, int position)
    {
        for (const BoxSide &side : sides())
            side.select(anchor, position);
    }
    // The reference first, as the steps are played.
    std::array<BoxSide, 2> sides() const { return {sideOf(reference), sideOf(box)}; }

    QWidget window;
    QPlainTextEdit *reference = nullptr;
    OutputBox *box = nullptr;
};

namespace SideBySideSteps {

inline QPoint pointOf(const BoxSide &side, const QStringList &numbers, int at)
{
    return numbers.at(at) == u"caret" ? side.caret().center()
                                      : QPoint(numbers.at(at).toInt(), numbers.value(at + 1).toInt());
}

inline void mouse(QWidget *viewport, QEvent::Type type, const QPoint &at, Qt::KeyboardModifiers modifiers = {})
{
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, at, viewport->mapToGlobal(at), button, held, modifiers);
    QApplication::sendEvent(viewport, &event);
}

// The mouse at viewport points ("caret" is the box's own caret): "press",
// "shift" (a Shift+click), "move", "release", "click", "double", "triple", and
// "drag:X,Y,X2,Y2" with its double- and triple-click forms "ddrag" and "tdrag".
inline void playMouse(const BoxSide &side, const StepScript::Step &step)
{
    const QString &verb = step.verb;
    const QStringList numbers = step.numbers();
    QWidget *viewport = side.area->viewport();
    const QPoint at = pointOf(side, numbers, 0);
    const QPoint to = numbers.size() > 3 ? pointOf(side, numbers, 2) : at;
    const bool doubled = verb == u"double" || verb == u"triple" || verb == u"ddrag" || verb == u"tdrag";
    if (verb == u"press" || verb == u"click" || verb == u"drag" || doubled)
        mouse(viewport, QEvent::MouseButtonPress, at);
    if (verb == u"shift")
        mouse(viewport, QEvent::MouseButtonPress, at, Qt::ShiftModifier);
    if (doubled) {
        mouse(viewport, QEvent::MouseButtonRelease, at);
        mouse(viewport, QEvent::MouseButtonDblClick, at);
    }
    if (verb == u"triple" || verb == u"tdrag") {
        mouse(viewport, QEvent::MouseButtonRelease, at);
        mouse(viewport, QEvent::MouseButtonPress, at);
    }
    if (verb == u"move" || verb.endsWith(u"drag")) {
        mouse(viewport, QEvent::MouseMove, (at + to) / 2);
        mouse(viewport, QEvent::MouseMove, to);
    }
    if (verb != u"press" && verb != u"move")
        mouse(viewport, QEvent::MouseButtonRelease, to);
}

// "drop:X,Y,TEXT": the text dragged in and dropped; says whether it was taken.
inline QString playDrop(const BoxSide &side, const StepScript::Step &step)
{
    QWidget *viewport = side.area->viewport();
    const QPoint at = pointOf(side, step.numbers(), 0);
    QMimeData data;
    data.setText(step.value.section(u',', 2));
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &enter);
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    if (enter.isAccepted())
        QApplication::sendEvent(viewport, &drop);
    return enter.isAccepted() && drop.isAccepted() ? QStringLiteral("drop taken") : QStringLiteral("drop refused");
}

// "pre:TEXT" (an input method composing), "com:TEXT" or "com:TEXT@FROM,LENGTH"
// (a commit that replaces LENGTH characters from FROM after the caret).
inline void playInputMethod(const BoxSide &side, const StepScript::Step &step)
{
    const QString text = step.value.section(u'@', 0, 0);
    const QStringList range = step.value.section(u'@', 1).split(u',');
    QList<QInputMethodEvent::Attribute> attributes;
    if (step.verb == u"pre")
        attributes.append({QInputMethodEvent::Cursor, int(text.size()), 1, QVariant()});
    QInputMethodEvent event(step.verb == u"pre" ? text : QString(), attributes);
    if (step.verb == u"com")
        event.setCommitString(text, range.at(0).toInt(), range.value(1).toInt());
    QApplication::sendEvent(side.area, &event);
}

} // namespace SideBySideSteps

// Plays one step on one box and tells what it left. Steps: the keys of
// StepScript::playKey, the input method's "pre" and "com", "paste:TEXT" (on the
// clipboard, then Ctrl+V), "sel:ANCHOR,POSITION", "hbar:VALUE", "drop:X,Y,TEXT"
// and the mouse's steps.
inline BoxState play(const BoxSide &side, const StepScript::Step &step)
{
    QWidget *viewport = side.area->viewport();
    QString note;
    if (step.verb == u"pre" || step.verb == u"com") {
        SideBySideSteps::playInputMethod(side, step);
    } else if (step.verb == u"paste") {
        QGuiApplication::clipboard()->setText(step.value);
        QTest::keyClick(side.area, Qt::Key_V, Qt::ControlModifier);
    } else if (step.verb == u"sel") {
        side.select(step.numbers().at(0).toInt(), step.numbers().at(1).toInt());
    } else if (step.verb == u"hbar") {
        side.area->horizontalScrollBar()->setValue(step.value.toInt());
    } else if (step.verb == u"drop") {
        note = SideBySideSteps::playDrop(side, step);
    } else if (!StepScript::playKey(side.area, step)) {
        SideBySideSteps::playMouse(side, step);
    }
    QCoreApplication::processEvents();
    // Lines are laid out as they are painted: paint before reading the ranges.
    BoxState state = side.state();
    state.pixels = viewport->grab().toImage();
    state.caret = side.caret();
    // Where an input method is told the caret is, in viewport coordinates.
    state.composingCaret = side.area->inputMethodQuery(Qt::ImCursorRectangle).toRectF().toRect();
    if (qobject_cast<OutputBox *>(side.area))
        state.composingCaret.translate(-viewport->pos());
    int i = 0;
    for (QScrollBar *bar : {side.area->horizontalScrollBar(), side.area->verticalScrollBar()}) {
        state.values[i][0] = bar->value();
        state.values[i++][1] = bar->maximum();
    }
    state.clipboard = QGuiApplication::clipboard()->text();
    state.note = note;
    return state;
}
