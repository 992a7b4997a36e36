#pragma once

class OutputBox;
class QListWidget;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QWidget;

// The window's controls, made from the layout table onto a parent: each at its
// place with its caption or initial text, its object name, the focus order and
// what a screen reader calls it (a labelled control by its label, which is its
// buddy). The window and the benchmarks' bare window are made the same way.
struct WindowControls
{
    QListWidget *serverList = nullptr;   // List1
    QPlainTextEdit *urlBox = nullptr;    // Text1
    QLineEdit *requestBox = nullptr;     // Text2
    OutputBox *outputBox = nullptr;      // Text3
    QLineEdit *newServerBox = nullptr;   // Text4
    QPushButton *purgeButton = nullptr;  // Command1
    QPushButton *statusButton = nullptr; // Command2
    QPushButton *addButton = nullptr;    // Command3

    static WindowControls make(QWidget *parent);
};
