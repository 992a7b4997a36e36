#pragma once

class QPlainTextEdit;
class QWidget;

// The window's multi-line text box as the operator knows it: no wrapping, both
// scroll bars always there, and Tab moving on to the next control.
namespace TextArea {

QPlainTextEdit *make(QWidget *parent);

} // namespace TextArea
