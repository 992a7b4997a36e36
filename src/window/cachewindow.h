#pragma once

#include "storage/appfolder.h"

#include <QWidget>

#include <functional>

class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

// The program's one window. Its controls are the whole in-memory state: every
// action reads its inputs from them when it starts and writes its results back.
class CacheWindow : public QWidget
{
    Q_OBJECT

public:
    explicit CacheWindow(const AppFolder &folder, QWidget *parent = nullptr);

    const AppFolder &folder() const { return m_folder; }

    // Refills List1 from serverlist.txt; no item is selected afterwards. Throws
    // FileError when the file is there but cannot be read (List1 is then untouched).
    void LoadServerList();

    // The selected server, or the empty text when no item is selected.
    QString selectedServer() const;

    // The status query's pause; only benchmarks change it.
    void setStatusPause(int ms) { m_statusPauseMs = ms; }

public slots:
    void addServer();   // Command3
    void purge();       // Command1
    void statusQuery(); // Command2

private:
    void buildControls();
    // Runs one step of a handler. A failing file operation or a refused text is
    // shown to the operator and gives false: the handler stops there and the
    // window keeps running with what its controls hold.
    bool runOrReport(const std::function<void()> &action);
    void showFailure(const QString &text);

    AppFolder m_folder;
    int m_statusPauseMs;

    QListWidget *m_list1 = nullptr;
    QPlainTextEdit *m_text1 = nullptr;
    QLineEdit *m_text2 = nullptr;
    QPlainTextEdit *m_text3 = nullptr;
    QLineEdit *m_text4 = nullptr;
    QPushButton *m_command1 = nullptr;
    QPushButton *m_command2 = nullptr;
    QPushButton *m_command3 = nullptr;
};
