// The window: its layout, focus order, server list and how it survives failures.
#include "commands/actions/purge.h"
#include "commands/actions/purgeworkers.h"
#include "commands/actions/serverfolder.h"
#include "commands/actions/resultreader.h"
#include "commands/actions/statusquery.h"
#include "controls.h"
#include "filebytes.h"
#include "modalwatcher.h"
#include "outputbox/widget/outputbox.h"
#include "outputbox/widget/outputboxaccessible.h"
#include "standinclient.h"
#include "storage/regularfile.h"
#include "storage/serverlist.h"
#include "storage/textfile.h"
#include "window/boxtext.h"
#include "window/cachewindow.h"
#include "window/layouttable.h"
#include "window/uilanguage.h"

#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QtConcurrent>
#include <QtTest>

#include <memory>

#include <cerrno>

#include <sys/resource.h>
#include <sys/stat.h>

namespace {
// A message in Chinese: it holds Chinese characters, and none of the program's
// English words (file names and the system's reasons may still be ASCII).
bool readsChinese(const QString &text)
{
    static const QRegularExpression han(QStringLiteral("[\\x{4e00}-\\x{9fff}]"));
    return text.contains(han) && !text.contains(QStringLiteral(" failed.")) && !text.contains(QStringLiteral("Reason:"))
            && !text.contains(QStringLiteral("still running"));
}
} // namespace

class TestWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void windowFrame();
    void controlsMatchTheLayoutTable();
    void multiLineBoxes();
    void focusAtStartAndTabOrder();
    void serverListAtStart_data();
    void serverListAtStart();
    void addServer();
    void selectedServer();
    void failingAddKeepsEverything_data();
    void failingAddKeepsEverything();
    void unusableServerListAtStart_data();
    void unusableServerListAtStart();
    void boxTextUsesCrLf_data();
    void boxTextUsesCrLf();
    void purgeClick();
    void purgeThatCannotWriteItsScript();
    void statusQueryClick();
    void noClientSaysSo();
    void refusedUrlLineNamed();
    void purgeOverARunningPurge();
    void purgeOverAStartingPurge();
    void purgeListingFirst();
    void purgeOnSeveralServers();
    void severalServersOneRefused_data();
    void severalServersOneRefused();
    void severalServersShareTheLimit();
    void severalServersUnreadableAnswer();
    void severalServersResultsAfterTheBoxIsTaken();
    void endlessAnswerIsCut();
    void statusAnswerFollowed();
    void serverListTooLarge_data();
    void serverListTooLarge();
    void messagesInTheUiLanguage_data();
    void messagesInTheUiLanguage();

private:
    void openWindow();
    // The window open, every server selected with Ctrl+A, and one URL.
    void openWithEveryServer();
    template<typename T>
    T *control(const char *name) const
    {
        return ::control<T>(m_window.get(), name);
    }
    QString serverFile() const { return m_dir->filePath(QStringLiteral("serverlist.txt")); }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<CacheWindow> m_window;
};

void TestWindow::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    // One PURGE a URL line, as these tests count: no Accept-Encoding values.
    QVERIFY(FileBytes::write(m_dir->filePath(QStringLiteral("encodings.txt")), QByteArray()));
}

void TestWindow::cleanup()
{
    m_window.reset();
    // The program's own messages are in the language the system asks for:
    // Chinese unless it is English (see messagesInTheUiLanguage).
    const bool chinese = UiLanguage::wantsChinese(QLocale::system().uiLanguages());
    for (const ModalWatcher::Seen &box : std::as_const(ModalWatcher::everySeen())) {
        if (box.objectName == QLatin1String("failureBox") || box.objectName == QLatin1String("purgeRunningBox"))
            QVERIFY2(readsChinese(box.text) == chinese, qPrintable(box.text));
    }
    ModalWatcher::everySeen().clear();
}

void TestWindow::openWindow()
{
    m_window = std::make_unique<CacheWindow>(AppFolder(m_dir->path()));
    m_window->show();
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
}

void TestWindow::windowFrame()
{
    openWindow();
    QCOMPARE(m_window->objectName(), QStringLiteral("cache"));
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Quellory"));
    QCOMPARE(m_window->size(), QSize(930, 559));
    QCOMPARE(m_window->minimumSize(), m_window->maximumSize());
}

void TestWindow::controlsMatchTheLayoutTable()
{
    openWindow();
    struct Expected
    {
        const char *name;
        const char *caption;
        QRect rect;
        const char *spoken; // what a screen reader calls it
    };
    // Pixels at 15 twips each, written out so a slip in the table shows here.
    const Expected expected[] = {
            {"Label2", "服务器IP：", {56, 16, 65, 17}, "服务器IP："},
            {"List1", "", {128, 16, 201, 28}, "服务器IP"},
            {"Text2", "mgr:", {344, 16, 73, 25}, "缓存管理请求"},
            {"Command2", "查看状态", {488, 16, 89, 25}, "查看状态"},
            {"Label3", "服务器IP：", {632, 16, 73, 17}, "服务器IP："},
            {"Text4", "", {696, 8, 161, 25}, "服务器IP"},
            {"Command3", "添加", {872, 8, 49, 25}, "添加"},
            {"Label1", "网址：", {56, 56, 57, 25}, "网址："},
            {"Text1", "", {128, 56, 353, 145}, "网址"},
            {"Command1", "更新缓存", {496, 104, 65, 33}, "更新缓存"},
            {"Text3", "", {8, 216, 905, 321}, "输出"},
    };
    QCOMPARE(LayoutTable::controls().size(), std::size(expected));
    for (const Expected &e : expected) {
        auto *widget = control<QWidget>(e.name);
        QCOMPARE(widget->geometry(), e.rect);
        QAccessibleInterface *spoken = QAccessible::queryAccessibleInterface(widget);
        QVERIFY(spoken);
        QCOMPARE(spoken->text(QAccessible::Name), QString::fromUtf8(e.spoken));
        QVERIFY(widget->isVisible() && widget->isEnabled());
        const QString caption = QString::fromUtf8(e.caption);
        if (auto *label = qobject_cast<QLabel *>(widget))
            QCOMPARE(label->text(), caption);
        else if (auto *button = qobject_cast<QPushButton *>(widget))
            QCOMPARE(button->text(), caption);
        else if (auto *line = qobject_cast<QLineEdit *>(widget))
            QCOMPARE(line->text(), caption);
        else if (auto *box = qobject_cast<QPlainTextEdit *>(widget))
            QCOMPARE(BoxText::text(box), caption);
        else if (auto *output = qobject_cast<OutputBox *>(widget))
            QCOMPARE(output->document()->text(), caption);
    }
}

void TestWindow::multiLineBoxes()
{
    openWindow();
    auto *urls = control<QPlainTextEdit>("Text1");
    QCOMPARE(urls->lineWrapMode(), QPlainTextEdit::NoWrap);
    QVERIFY(!urls->isReadOnly());
    // The output box draws like the QPlainTextEdit it replaced (its own test
    // compares the pixels); here: both scroll bars, and the operator can edit it.
    auto *output = control<OutputBox>("Text3");
    for (QAbstractScrollArea *box :
         {static_cast<QAbstractScrollArea *>(urls), static_cast<QAbstractScrollArea *>(output)}) {
        QCOMPARE(box->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(box->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    }
    BoxText::setText(output, QStringLiteral("ab\r\ncd"));
    output->document()->setCursorPosition(2);
    QTest::keyClicks(output, QStringLiteral("!"));
    QCOMPARE(output->document()->text(), QStringLiteral("ab!\r\ncd"));
    QCOMPARE(control<QListWidget>("List1")->selectionMode(), QAbstractItemView::ExtendedSelection);
}

void TestWindow::focusAtStartAndTabOrder()
{
    openWindow();
    QTRY_COMPARE(QApplication::focusWidget(), control<QWidget>("Text1"));
    // Type something first: Tab must leave a multi-line box, not insert a tab.
    QTest::keyClicks(control<QWidget>("Text1"), QStringLiteral("http://a/"));
    const char *order[] = {"Command1", "Text3", "Command2", "Text4", "Command3", "List1", "Text2", "Text1"};
    for (const char *name : order) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QTRY_COMPARE(QApplication::focusWidget()->objectName(), QString::fromLatin1(name));
    }
    QCOMPARE(BoxText::text(control<QPlainTextEdit>("Text1")), QStringLiteral("http://a/"));
    for (const char *label : {"Label1", "Label2", "Label3"})
        QCOMPARE(control<QWidget>(label)->focusPolicy(), Qt::NoFocus);
}

void TestWindow::serverListAtStart_data()
{
    QTest::addColumn<bool>("present");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("items");
    QTest::newRow("no file shows the missing-file text")
            << false << QByteArray() << QStringList{TextFile::missingFileText()};
    QTest::newRow("empty file shows nothing") << true << QByteArray() << QStringList();
    QTest::newRow("two servers and the empty last item")
            << true << QByteArray("a\r\nb\r\n") << QStringList{"a", "b", ""};
}

void TestWindow::serverListAtStart()
{
    QFETCH(bool, present);
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, items);
    if (present)
        QVERIFY(FileBytes::write(serverFile(), bytes));
    openWindow();
    auto *list = control<QListWidget>("List1");
    QStringList shown;
    for (int i = 0; i < list->count(); ++i)
        shown << list->item(i)->text();
    QCOMPARE(shown, items);
    QVERIFY(list->selectedItems().isEmpty());
    QCOMPARE(m_window->selectedServer(), QString());
}

void TestWindow::addServer()
{
    openWindow();
    auto *list = control<QListWidget>("List1");
    auto *text4 = control<QLineEdit>("Text4");
    QTest::keyClicks(text4, QStringLiteral("127.0.0.1"));
    QTest::mouseClick(control<QPushButton>("Command3"), Qt::LeftButton);
    QCOMPARE(list->count(), 2);
    QCOMPARE(list->item(0)->text(), QStringLiteral("127.0.0.1"));
    QCOMPARE(list->item(1)->text(), QString());
    QCOMPARE(text4->text(), QStringLiteral("127.0.0.1")); // kept after the add

    list->setCurrentRow(0);
    QTest::mouseClick(control<QPushButton>("Command3"), Qt::LeftButton);
    QCOMPARE(list->count(), 3);
    QVERIFY(list->selectedItems().isEmpty()); // the list was refilled

    QCOMPARE(FileBytes::read(serverFile()), QByteArray("127.0.0.1\r\n127.0.0.1\r\n"));
}

void TestWindow::selectedServer()
{
    QVERIFY(FileBytes::write(serverFile(), "a\r\n\r\nc"));
    openWindow();
    auto *list = control<QListWidget>("List1");
    list->setCurrentRow(2);
    QCOMPARE(m_window->selectedServer(), QStringLiteral("c"));
    list->setCurrentRow(1); // an empty item is an ordinary server
    QCOMPARE(m_window->selectedServer(), QString());
    QVERIFY(!list->selectedItems().isEmpty());
}

void TestWindow::failingAddKeepsEverything_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    // The add's file cannot be opened for writing.
    QTest::newRow("a directory") << "directory" << qt_error_string(EISDIR);
    // Another program, of any user who can read the file, holds its lock: given
    // up after a while, never waited for without end.
    QTest::newRow("held by another program")
            << "held"
            << QCoreApplication::translate("RegularFile",
                                           "Another program holds this file and did not let go of it within %1 "
                                           "seconds. Try again once it has.")
                       .arg(RegularFile::kWaitMs / 1000);
}

void TestWindow::failingAddKeepsEverything()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    QProcess holder;
    if (kind == u"directory") {
        QVERIFY(QDir().mkpath(serverFile()));
    } else {
        QVERIFY(FileBytes::write(serverFile(), "a\r\n"));
        // flock(1) opens it read-only, as anyone who may read it could.
        holder.start(QStringLiteral("flock"),
                     {QStringLiteral("--shared"), serverFile(), QStringLiteral("sh"), QStringLiteral("-c"),
                      QStringLiteral("echo held; exec sleep 600")});
        QVERIFY(holder.waitForReadyRead(kForever));
    }
    openWindow();
    auto *list = control<QListWidget>("List1");
    QStringList before;
    for (int i = 0; i < list->count(); ++i)
        before << list->item(i)->text();
    const QByteArray bytes = FileBytes::read(serverFile());
    QTest::keyClicks(control<QWidget>("Text1"), QStringLiteral("http://kept/"));
    QTest::keyClicks(control<QLineEdit>("Text4"), QStringLiteral("127.0.0.9"));
    control<QLineEdit>("Text2")->setText(QStringLiteral("mgr:info"));

    ModalWatcher watcher;
    QTest::mouseClick(control<QPushButton>("Command3"), Qt::LeftButton);
    holder.kill();
    holder.waitForFinished();

    QCOMPARE(watcher.seen().size(), 1);
    const ModalWatcher::Seen &box = watcher.seen().first();
    QCOMPARE(box.objectName, QStringLiteral("failureBox"));
    QVERIFY2(box.text.contains(serverFile()) && box.text.contains(reason), qPrintable(box.text));
    QVERIFY(m_window->isVisible());
    QStringList after;
    for (int i = 0; i < list->count(); ++i)
        after << list->item(i)->text();
    QCOMPARE(after, before);
    QCOMPARE(FileBytes::read(serverFile()), bytes);
    QCOMPARE(BoxText::text(control<QPlainTextEdit>("Text1")), QStringLiteral("http://kept/"));
    QCOMPARE(control<QLineEdit>("Text4")->text(), QStringLiteral("127.0.0.9"));
    QCOMPARE(control<QLineEdit>("Text2")->text(), QStringLiteral("mgr:info"));
}

void TestWindow::unusableServerListAtStart_data()
{
    QTest::addColumn<QString>("kind");
    // Reading /dev/zero would never end: no window at all.
    QTest::newRow("device") << "/dev/zero";
    // Opening a FIFO would wait for a writer that never comes.
    QTest::newRow("FIFO") << "fifo";
}

void TestWindow::unusableServerListAtStart()
{
    QFETCH(QString, kind);
    if (kind.startsWith(QLatin1Char('/')))
        QVERIFY(QFile::link(kind, serverFile()));
    else
        QCOMPARE(mkfifo(QFile::encodeName(serverFile()).constData(), 0600), 0);
    ModalWatcher watcher;
    openWindow();
    QCOMPARE(watcher.seen().size(), 1);
    QCOMPARE(watcher.seen().first().objectName, QStringLiteral("failureBox"));
    QVERIFY(watcher.seen().first().text.contains(serverFile()));
    QCOMPARE(control<QListWidget>("List1")->count(), 0);
    QTRY_COMPARE(QApplication::focusWidget(), control<QWidget>("Text1"));
}

void TestWindow::boxTextUsesCrLf_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << QString();
    QTest::newRow("lines") << "a\r\n\r\nb";
    QTest::newRow("trailing line end") << "a\r\nb\r\n";
    QTest::newRow("no-break space and tab kept") << QString::fromUtf8("a\u00a0b\tc");
    QTest::newRow("wide text") << QString::fromUtf8("文件不存在！！\r\n文件不存在！！");
}

void TestWindow::boxTextUsesCrLf()
{
    QFETCH(QString, text);
    QPlainTextEdit box;
    BoxText::setText(&box, text);
    QCOMPARE(BoxText::text(&box), text);
    QCOMPARE(box.blockCount(), text.count(QStringLiteral("\r\n")) + 1);
}

void TestWindow::purgeClick()
{
    // ctest gives the tests no session bus: with no notification service the
    // purge goes on as before and each report is one line on the error stream.
    static const QRegularExpression noService(QStringLiteral("^Quellory"));
    QTest::ignoreMessage(QtWarningMsg, noService);
    QTest::ignoreMessage(QtWarningMsg, noService);
    QTest::failOnWarning(noService);
    StandInClient client(m_dir->path());
    QVERIFY(FileBytes::write(serverFile(), "127.0.0.1\r\n"));
    openWindow();
    control<QListWidget>("List1")->setCurrentRow(0);
    auto *text1 = control<QPlainTextEdit>("Text1");
    auto *text3 = control<OutputBox>("Text3");
    QTest::keyClicks(text1, QStringLiteral("http://a/x?p=1&q=2"));
    QTest::keyClick(text1, Qt::Key_Return);
    QTest::keyClick(text1, Qt::Key_Return);
    QTest::keyClicks(text1, QStringLiteral("http://b/"));
    BoxText::setText(text3, QStringLiteral("old output"));

    ModalWatcher watcher;
    QTest::mouseClick(control<QPushButton>("Command1"), Qt::LeftButton);
    QCOMPARE(watcher.seen().size(), 1);
    const ModalWatcher::Seen &box = watcher.seen().first();
    QCOMPARE(box.objectName, QStringLiteral("purgeDoneBox"));
    QCOMPARE(box.title, QStringLiteral("Quellory"));
    QCOMPARE(box.text, QStringLiteral("更新完毕,请检查是否更新!"));
    QCOMPARE(box.icon, QMessageBox::NoIcon);
    QCOMPARE(box.buttonCount, 1);
    QCOMPARE(text3->document()->text(), TextFile::missingFileText().repeated(2));

    QVERIFY(client.waitForCalls(2));
    // A lane each, in either order.
    auto calls = client.calls();
    std::sort(calls.begin(), calls.end(), [](const auto &a, const auto &b) { return a.last() < b.last(); });
    QCOMPARE(calls.at(0).last(), QByteArray("http://a/x?p=1&q=2"));
    QCOMPARE(calls.at(1).last(), QByteArray("http://b/"));
    QTRY_VERIFY(QFile::exists(Purge::resultPath(m_window->folder(), 2)));
    // Once the script has ended and been reported, as an operator would wait: a
    // purge still running would be asked about (see purgeOverARunningPurge), and
    // a report not made yet would be dropped by the next purge.
    QTRY_VERIFY_WITH_TIMEOUT(!m_window->purgeReportPending(), kForever);

    // The next click shows what the first one's commands wrote. The stand-in ends
    // its lines with LF; the box gives every line break back as CR LF.
    QTest::mouseClick(control<QPushButton>("Command1"), Qt::LeftButton);
    QCOMPARE(text3->document()->text(),
             QStringLiteral("answer for http://a/x?p=1&q=2\r\nstand-in error\r\n"
                            "answer for http://b/\r\nstand-in error\r\n"));
    QTRY_VERIFY_WITH_TIMEOUT(!m_window->purgeReportPending(), kForever);
    QCOMPARE(watcher.seen().size(), 2);
}

void TestWindow::purgeThatCannotWriteItsScript()
{
    StandInClient client(m_dir->path());
    openWindow();
    QVERIFY(QDir().mkpath(Purge::scriptPath(m_window->folder())));
    QTest::keyClicks(control<QWidget>("Text1"), QStringLiteral("http://kept/"));
    ModalWatcher watcher;
    QTest::mouseClick(control<QPushButton>("Command1"), Qt::LeftButton);
    QCOMPARE(watcher.seen().size(), 1); // the failure, and no "done" message
    QCOMPARE(watcher.seen().first().objectName, QStringLiteral("failureBox"));
    QVERIFY(watcher.seen().first().text.contains(Purge::scriptPath(m_window->folder())));
    QCOMPARE(BoxText::text(control<QPlainTextEdit>("Text1")), QStringLiteral("http://kept/"));
    QVERIFY(control<OutputBox>("Text3")->document()->text().isEmpty());
    QTest::qWait(200);
    QVERIFY(client.calls().isEmpty());
}

void TestWindow::statusQueryClick()
{
    StandInClient client(m_dir->path());
    openWindow();
    auto *text3 = control<OutputBox>("Text3");
    BoxText::setText(text3, QStringLiteral("replaced, not appended to"));
    control<QLineEdit>("Text2")->setText(QStringLiteral("mgr:info"));
    ModalWatcher watcher;
    QTest::mouseClick(control<QPushButton>("Command2"), Qt::LeftButton);
    // The pause holds nothing up: the click is over and the box still empty.
    QVERIFY(text3->document()->text().isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(!m_window->statusFollowed(), kForever);
    QVERIFY(watcher.seen().isEmpty());
    QCOMPARE(text3->document()->text(), QStringLiteral("answer for /squid-internal-mgr/info\r\nstand-in error\r\n"));
    QCOMPARE(client.calls().at(0).mid(1), (QList<QByteArray>{"-h", "", "-p", "80", "/squid-internal-mgr/info"}));
}

void TestWindow::noClientSaysSo()
{
    // Neither squidclient nor curl: a purge and a status query each say so in
    // the messages' language (see cleanup), before any script is written, and
    // the URLs stay.
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(m_dir->path()));
    openWindow();
    control<QPlainTextEdit>("Text1")->setPlainText(QStringLiteral("http://kept/"));
    ModalWatcher watcher;
    QTest::mouseClick(control<QPushButton>("Command1"), Qt::LeftButton);
    QTest::mouseClick(control<QPushButton>("Command2"), Qt::LeftButton);
    qputenv("PATH", path);
    QCOMPARE(watcher.seen().size(), 2);
    for (const ModalWatcher::Seen &box : watcher.seen())
        QVERIFY2(box.text.contains(QStringLiteral("curl")), qPrintable(box.text));
    QCOMPARE(BoxText::text(control<QPlainTextEdit>("Text1")), QStringLiteral("http://kept/"));
    QVERIFY(!QFile::exists(Purge::scriptPath(m_window->folder())));
    QVERIFY(!QFile::exists(StatusQuery::scriptPath(m_window->folder())));
}

void TestWindow::refusedUrlLineNamed()
{
    StandInClient client(m_dir->path());
    openWindow();
    QVERIFY(FileBytes::write(Purge::scriptPath(m_window->folder()), "previous\r\n"));
    QTest::keyClicks(control<QWidget>("Text1"), QStringLiteral("http://a/"));
    QTest::keyClick(control<QWidget>("Text1"), Qt::Key_Return);
    QTest::keyClicks(control<QWidget>("Text1"), QStringLiteral("-hother.example"));
    ModalWatcher watcher;
    QTest::mouseClick(control<QPushButton>("Command1"), Qt::LeftButton);
    QCOMPARE(watcher.seen().size(), 1); // the refusal, and no "done" message
    QCOMPARE(watcher.seen().first().objectName, QStringLiteral("failureBox"));
    // Counted from 1 as the operator counts, and named by its result file, which
    // is counted from 0.
    QVERIFY2(watcher.seen().first().text.contains(QStringLiteral("第 2 行 (nslookup1.txt)")),
             qPrintable(watcher.seen().first().text));
    QCOMPARE(FileBytes::read(Purge::scriptPath(m_window->folder())), QByteArray("previous\r\n"));
    QTest::qWait(200);
    QVERIFY(client.calls().isEmpty());
}

void TestWindow::purgeOverARunningPurge()
{
    // The purge stopped by the answer is not reported: one report, of the last.
    static const QRegularExpression report(QStringLiteral("^Quellory"));
    QTest::ignoreMessage(QtWarningMsg, report);
    QTest::failOnWarning(report);
    // Each call of the first purge but its first waits while its hold file is
    // there, so that purge is still running at every click below, however slow
    // the machine.
    StandInClient client(m_dir->path(),
                         "case $last in http://first/*)\n"
                         "  while [ -e \"${0%/*}/hold${last##*/}\" ]; do sleep 0.02; done;;\n"
                         "esac\n");
    const auto hold = [this](int n) { return m_dir->filePath(QStringLiteral("hold%1").arg(n)); };
    for (int n = 1; n < 20; ++n)
        QVERIFY(FileBytes::write(hold(n), ""));
    QVERIFY(FileBytes::write(serverFile(), "127.0.0.1\r\n"));
    openWindow();
    control<QListWidget>("List1")->setCurrentRow(0);
    auto *text1 = control<QPlainTextEdit>("Text1");
    auto *text3 = control<OutputBox>("Text3");
    auto *purge = control<QPushButton>("Command1");
    const auto urls = [](const char *run) {
        QStringList lines;
        for (int i = 0; i < 20; ++i)
            lines << QStringLiteral("http://%1/%2").arg(QLatin1String(run)).arg(i);
        return lines.join(QStringLiteral("\r\n"));
    };
    const auto callsOf = [&](const char *run) {
        qsizetype n = 0;
        for (const auto &call : client.calls())
            n += call.last().startsWith(QByteArray("http://") + run);
        return n;
    };
    const QString script = Purge::scriptPath(m_window->folder());
    ModalWatcher watcher;
    BoxText::setText(text1, urls("first"));
    QTest::mouseClick(purge, Qt::LeftButton);
    QVERIFY(client.waitForCalls(1));

    // Escape: nothing happens, and the first purge goes on.
    const QByteArray firstScript = FileBytes::read(script);
    BoxText::setText(text3, QStringLiteral("kept"));
    BoxText::setText(text1, urls("second"));
    watcher.answer(QStringLiteral("purgeRunningBox"), Qt::Key_Escape);
    QTest::mouseClick(purge, Qt::LeftButton);
    QCOMPARE(watcher.seen().size(), 2);
    const ModalWatcher::Seen &question = watcher.seen().last();
    QCOMPARE(question.objectName, QStringLiteral("purgeRunningBox"));
    QCOMPARE(question.title, QStringLiteral("Quellory"));
    QCOMPARE(question.buttonCount, 2);
    QCOMPARE(FileBytes::read(script), firstScript);
    QCOMPARE(text3->document()->text(), QStringLiteral("kept"));
    const qsizetype soFar = callsOf("first");
    // The first line of the second lane: the next line of that lane follows.
    QVERIFY(QFile::remove(hold(int(Purge::laneStarts(20).at(1)))));
    QVERIFY(client.waitForCalls(soFar + 1));
    QVERIFY(callsOf("first") > soFar);

    // Return: the first purge ends at once, and the second runs whole.
    watcher.answer(QStringLiteral("purgeRunningBox"), Qt::Key_Return);
    QTest::mouseClick(purge, Qt::LeftButton);
    QCOMPARE(watcher.seen().size(), 4);
    QCOMPARE(watcher.seen().at(2).objectName, QStringLiteral("purgeRunningBox"));
    QCOMPARE(watcher.seen().at(3).objectName, QStringLiteral("purgeDoneBox"));
    const qsizetype firstCalls = callsOf("first");
    QVERIFY(firstCalls < 20);
    QTRY_COMPARE_WITH_TIMEOUT(callsOf("second"), qsizetype(20), kForever);
    const QString last = Purge::resultPath(m_window->folder(), 19);
    QTRY_COMPARE(FileBytes::read(last), QByteArray("answer for http://second/19\nstand-in error\n"));
    QCOMPARE(callsOf("first"), firstCalls);
    for (int i = 0; i < 20; ++i) {
        QCOMPARE(FileBytes::read(Purge::resultPath(m_window->folder(), i)),
                 "answer for http://second/" + QByteArray::number(i) + "\nstand-in error\n");
    }
    // It has ended by itself: it is reported, and the next purge asks nothing.
    QTRY_VERIFY_WITH_TIMEOUT(!m_window->purgeReportPending(), kForever);
    QTest::mouseClick(purge, Qt::LeftButton);
    QCOMPARE(watcher.seen().size(), 5);
    QCOMPARE(watcher.seen().last().objectName, QStringLiteral("purgeDoneBox"));
}

void TestWindow::purgeOverAStartingPurge()
{
    // The first purge's script, still to start when the second is clicked, is stopped with the rest.
    StandInClient client(m_dir->path(), "case $last in http://first/*) while [ -d \"${0%/*}\" ]; do sleep 0.02; done;; esac\n");
    QSemaphore gate;
    QFuture<void> held = QtConcurrent::run(PurgeWorkers::starter(), [&gate] { gate.acquire(); });
    const auto open = qScopeGuard([&gate, &held] { gate.release(), held.waitForFinished(); });
    QVERIFY(FileBytes::write(serverFile(), "127.0.0.1\r\n"));
    openWindow();
    control<QListWidget>("List1")->setCurrentRow(0);
    ModalWatcher watcher;
    for (const char *url : {"http://first/0", "http://second/0"}) {
        BoxText::setText(control<QPlainTextEdit>("Text1"), QString::fromLatin1(url));
        watcher.answer(QStringLiteral("purgeRunningBox"), Qt::Key_Return);
        QTest::mouseClick(control<QPushButton>("Command1"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(FileBytes::read(Purge::scriptPath(m_window->folder())).contains(url), kForever);
        PurgeWorkers::pool()->waitForDone(); // the plan's end told, its start asked for
        QCoreApplication::sendPostedEvents();
    }
    gate.release(); // the second's start waits behind it
    QTRY_VERIFY_WITH_TIMEOUT(FileBytes::read(Purge::resultPath(m_window->folder(), 0)).contains("second/0"), kForever);
    // No client of the first is left (pgrep finds none: 1).
    QTRY_COMPARE(QProcess::execute(QStringLiteral("pgrep"), {QStringLiteral("-f"), QStringLiteral("http://first/")}), 1);
}

void TestWindow::purgeListingFirst()
{
    // The server lists what it holds before the purge's own requests go out:
    // until then the purge is running, and a window closed meanwhile still
    // starts them once the listing is in.
    StandInClient client(m_dir->path());
    const QString hold = m_dir->filePath(QStringLiteral("hold-listing"));
    QVERIFY(FileBytes::write(hold, ""));
    QVERIFY(FileBytes::write(serverFile(), "127.0.0.1\r\n"));
    openWindow();
    control<QListWidget>("List1")->setCurrentRow(0);
    BoxText::setText(control<QPlainTextEdit>("Text1"), QStringLiteral("http://a/\r\nhttp://b/"));
    ModalWatcher watcher;
    QTest::mouseClick(control<QPushButton>("Command1"), Qt::LeftButton);
    QCOMPARE(watcher.seen().last().objectName, QStringLiteral("purgeDoneBox"));
    watcher.answer(QStringLiteral("purgeRunningBox"), Qt::Key_Escape);
    QTest::mouseClick(control<QPushButton>("Command1"), Qt::LeftButton);
    QCOMPARE(watcher.seen().last().objectName, QStringLiteral("purgeRunningBox"));
    QCOMPARE(client.calls().size(), 0);
    QVERIFY(QFile::remove(hold));
    m_window.reset();
    QVERIFY(client.waitForCalls(2));
    QTRY_COMPARE(FileBytes::read(Purge::resultPath(AppFolder(m_dir->path()), 1)),
                 QByteArray("answer for http://b/\nstand-in error\n"));
}

void TestWindow::purgeOnSeveralServers()
{
    // Each server's answers: the first one's in the program's folder as
    // always, the other's in a folder of its own, named by its server.txt.
    StandInClient client(m_dir->path(), "case \" $* \" in *' -h two '*) echo 'from two';; esac\n");
    QVERIFY(FileBytes::write(serverFile(), "one\r\ntwo\r\nthree\r\n"));
    openWindow();
    auto *list = control<QListWidget>("List1");
    const auto click = [list](int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers, list->visualItemRect(list->item(row)).center());
    };
    QAccessibleInterface *spoken = QAccessible::queryAccessibleInterface(list);
    click(2);
    click(1);
    QCOMPARE(m_window->selectedServers(), QStringList{"two"}); // a plain click picks one
    QCOMPARE(spoken->text(QAccessible::Description), QString());
    click(0, Qt::ControlModifier);
    QCOMPARE(m_window->selectedServers(), (QStringList{"one", "two"}));
    QCOMPARE(spoken->text(QAccessible::Description),
             QCoreApplication::translate("CacheWindow", "%1 servers selected").arg(2));
    list->setFocus();
    QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier);
    // The empty row after the last line end is no server among others.
    QCOMPARE(m_window->selectedServers(), (QStringList{"one", "two", "three"}));
    QCOMPARE(spoken->text(QAccessible::Description),
             QCoreApplication::translate("CacheWindow", "%1 servers selected").arg(3));
    click(1);
    click(0, Qt::ShiftModifier);
    QCOMPARE(m_window->selectedServers(), (QStringList{"one", "two"}));

    BoxText::setText(control<QPlainTextEdit>("Text1"), QStringLiteral("http://a/\r\nhttp://b/"));
    ModalWatcher watcher;
    QTest::mouseClick(control<QPushButton>("Command1"), Qt::LeftButton);
    QCOMPARE(watcher.seen().size(), 1); // one box for them all
    const QString missing = TextFile::missingFileText().repeated(2);
    // Read off the window's thread.
    QTRY_COMPARE(control<OutputBox>("Text3")->document()->text(),
                 QStringLiteral("=== one ===\r\n") + missing + QStringLiteral("\r\n=== two ===\r\n") + missing);
    const QString two = ServerFolder::rootPath(m_window->folder()) + u'/' + ServerFolder::name(QStringLiteral("two"));
    QCOMPARE(FileBytes::read(two + QStringLiteral("/server.txt")), QByteArray("two"));
    const AppFolder twoFolder = m_window->folder().withResultsIn(two);
    QTRY_COMPARE(FileBytes::read(Purge::resultPath(twoFolder, 1)),
                 QByteArray("from two\nanswer for http://b/\nstand-in error\n"));
    QTRY_COMPARE(FileBytes::read(Purge::resultPath(m_window->folder(), 1)),
                 QByteArray("answer for http://b/\nstand-in error\n"));
    QTRY_VERIFY_WITH_TIMEOUT(!m_window->purgeReportPending(), kForever);

    // The status query on both: the first one's answer first, though the
    // second's came before it.
    StandInClient slowFirst(m_dir->path(), "case \" $* \" in *' -h one '*) sleep 1;; *' -h two '*) echo 'from two';; esac\n");
    m_window->setStatusPause(0);
    QTest::mouseClick(control<QPushButton>("Command2"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!m_window->statusFollowed(), kForever);
    const QString answer = QStringLiteral("answer for /squid-internal-mgr/\r\nstand-in error\r\n");
    QCOMPARE(control<OutputBox>("Text3")->document()->text(),
             QStringLiteral("=== one ===\r\n") + answer + QStringLiteral("=== two ===\r\nfrom two\r\n") + answer);
}

void TestWindow::openWithEveryServer()
{
    openWindow();
    auto *list = control<QListWidget>("List1");
    list->setFocus();
    QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier);
    BoxText::setText(control<QPlainTextEdit>("Text1"), QStringLiteral("http://a/"));
}

void TestWindow::severalServersOneRefused_data()
{
    QTest::addColumn<bool>("status");
    QTest::newRow("purge") << false;
    QTest::newRow("status query") << true;
}

void TestWindow::severalServersOneRefused()
{
    // The second server's text is refused: the first one is not asked either.
    QFETCH(bool, status);
    const QString button = status ? QStringLiteral("Command2") : QStringLiteral("Command1");
    const QString script = status ? StatusQuery::scriptPath(AppFolder(m_dir->path()))
                                  : Purge::scriptPath(AppFolder(m_dir->path()));
    StandInClient client(m_dir->path());
    QVERIFY(FileBytes::write(serverFile(), "one\r\nt\x01wo\r\n"));
    openWithEveryServer();
    QCOMPARE(m_window->selectedServers(), (QStringList{"one", QStringLiteral("t\x01wo")}));
    ModalWatcher watcher;
    QTest::mouseClick(control<QPushButton>(qPrintable(button)), Qt::LeftButton);
    QCOMPARE(watcher.seen().size(), 1);
    QCOMPARE(watcher.seen().first().objectName, QStringLiteral("failureBox"));
    // Written on the click, or never.
    QVERIFY(!QFile::exists(script));
    QVERIFY(!m_window->statusFollowed());
    QVERIFY(!m_window->purgeRunning());
}

void TestWindow::severalServersShareTheLimit()
{
    // Two servers' earlier answers, 150 MiB each: the box shows 256 MiB of
    // them in all, not 256 MiB a server, and then where it cut.
    StandInClient client(m_dir->path());
    QVERIFY(FileBytes::write(serverFile(), "one\r\ntwo\r\n"));
    const AppFolder one(m_dir->path());
    const AppFolder two = ServerFolder::make(one, QStringLiteral("two"));
    const QByteArray chunk = QByteArray((1 << 20) - 1, 'x') + '\n';
    for (const AppFolder &folder : {one, two}) {
        QFile file(Purge::resultPath(folder, 0));
        QVERIFY(file.open(QIODevice::WriteOnly));
        for (int i = 0; i < 150; ++i)
            QCOMPARE(file.write(chunk), chunk.size());
    }
    openWithEveryServer();
    ModalWatcher watcher;
    QTest::mouseClick(control<QPushButton>("Command1"), Qt::LeftButton);
    const OutputDocument *doc = control<OutputBox>("Text3")->document();
    // "=== one ===", 150 lines, "=== two ===", 106 lines, the cut line.
    QTRY_COMPARE_WITH_TIMEOUT(doc->lineCount(), 1 + 150 + 1 + 106 + 1, kForever);
    QCOMPARE(doc->textRange(doc->lineStart(151), doc->lineEnd(151)), QStringLiteral("=== two ==="));
    const int last = doc->lineCount() - 1;
    const QString cutLine = doc->textRange(doc->lineStart(last), doc->lineEnd(last));
    QVERIFY2(cutLine.contains(Purge::resultPath(two, 0)) && cutLine.contains(QStringLiteral("256 MiB")),
             qPrintable(cutLine));
    QTRY_VERIFY_WITH_TIMEOUT(!m_window->purgeReportPending(), kForever);
}

void TestWindow::severalServersUnreadableAnswer()
{
    // An earlier answer that cannot be read, found once the click has
    // returned: the purge stops there, as a click that failed, and says why.
    StandInClient client(m_dir->path());
    QVERIFY(FileBytes::write(serverFile(), "one\r\ntwo\r\n"));
    const AppFolder two = ServerFolder::make(AppFolder(m_dir->path()), QStringLiteral("two"));
    QCOMPARE(mkfifo(QFile::encodeName(Purge::resultPath(two, 0)).constData(), 0600), 0);
    openWithEveryServer();
    ModalWatcher watcher;
    QTest::mouseClick(control<QPushButton>("Command1"), Qt::LeftButton);
    const auto failed = [&watcher] {
        return std::any_of(watcher.seen().begin(), watcher.seen().end(),
                           [](const auto &box) { return box.objectName == QStringLiteral("failureBox"); });
    };
    QTRY_VERIFY_WITH_TIMEOUT(failed(), kForever);
    // The "done" box, if it was still open, has gone for it.
    QVERIFY(!QApplication::activeModalWidget());
    QCOMPARE(watcher.seen().last().objectName, QStringLiteral("failureBox"));
    QVERIFY2(watcher.seen().last().text.contains(Purge::resultPath(two, 0)), qPrintable(watcher.seen().last().text));
    QVERIFY(!m_window->purgeRunning());
    QVERIFY(!m_window->purgeReportPending());
    QCOMPARE(control<OutputBox>("Text3")->document()->length(), 0);
}

void TestWindow::severalServersResultsAfterTheBoxIsTaken()
{
    // The report's action reads both servers' answers off the window's
    // thread; a status query clicked before they are read keeps the box.
    StandInClient client(m_dir->path());
    QVERIFY(FileBytes::write(serverFile(), "one\r\ntwo\r\n"));
    openWithEveryServer();
    ModalWatcher watcher;
    QTest::mouseClick(control<QPushButton>("Command1"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!m_window->purgeReportPending(), kForever);
    const OutputDocument *doc = control<OutputBox>("Text3")->document();
    const QString answers = QStringLiteral("=== two ===\r\nanswer for http://a/\r\nstand-in error\r\n");
    m_window->showPurgeResults(1);
    QTRY_VERIFY_WITH_TIMEOUT(doc->text().endsWith(answers), kForever);

    m_window->setStatusPause(0);
    m_window->showPurgeResults(1);
    QTest::mouseClick(control<QPushButton>("Command2"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!m_window->statusFollowed(), kForever);
    const QString answer = QStringLiteral("answer for /squid-internal-mgr/\r\nstand-in error\r\n");
    // Whatever came first, the read's text is not the box's any more.
    PurgeWorkers::pool()->waitForDone();
    QCoreApplication::processEvents();
    QCOMPARE(doc->text(), QStringLiteral("=== one ===\r\n") + answer + QStringLiteral("=== two ===\r\n") + answer);
    QCOMPARE(watcher.seen().size(), 1);
}

void TestWindow::endlessAnswerIsCut()
{
    // A server that never stops answering: 300 MB at once, then more for as long
    // as anyone reads (ten seconds here, so nothing is left behind for long).
    const QByteArray line = "an answer that does not end, line after line\n";
    StandInClient client(m_dir->path(),
                         "yes '" + line.chopped(1)
                                 + "' | head -c 300000000\n"
                                   "i=0; while [ $i -lt 100 ]; do echo more; sleep 0.1; i=$((i+1)); done\n");
    openWindow();
    // How long the window works on it is the bench's to say; here it must show
    // the first 256 MiB, say where it cut, stop the script, and go on answering.
    m_window->setStatusPause(0);
    QTest::mouseClick(control<QPushButton>("Command2"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!m_window->statusFollowed(), kForever);

    auto *text3 = control<OutputBox>("Text3");
    const OutputDocument *doc = text3->document();
    const qint64 wholeLines = ResultReader::kMaxShownBytes / line.size();
    const qint64 partLine = ResultReader::kMaxShownBytes % line.size();
    QCOMPARE(qint64(doc->lineCount()), wholeLines + 2);
    const int last = doc->lineCount() - 1;
    const QString cutLine = doc->textRange(doc->lineStart(last), doc->lineEnd(last));
    QVERIFY2(cutLine.startsWith(QLatin1Char('[')) && cutLine.contains(StatusQuery::resultPath(m_window->folder()))
                     && cutLine.contains(QStringLiteral("256 MiB")),
             qPrintable(cutLine));
    const QString whole = QString::fromLatin1(line.chopped(1));
    for (const int n : {0, int(wholeLines / 2), int(wholeLines - 1)})
        QCOMPARE(doc->textRange(doc->lineStart(n), doc->lineEnd(n)), whole);
    QCOMPARE(doc->textRange(doc->lineStart(last - 1), doc->lineEnd(last - 1)), whole.left(partLine));

    // The window takes the next event as ever.
    auto *text2 = control<QLineEdit>("Text2");
    text2->clear();
    text2->setFocus();
    QTest::keyClicks(text2, QStringLiteral("mgr:menu"));
    QCOMPARE(text2->text(), QStringLiteral("mgr:menu"));
}

namespace {
// The address space this process has taken so far, in bytes.
qint64 addressSpace()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmSize:"))
            return line.mid(7).trimmed().split(' ').first().toLongLong() * 1024;
    }
    return -1;
}
} // namespace

void TestWindow::statusAnswerFollowed()
{
    // A slow server: each part of the answer waits for a file of the test's.
    // A purge is answered at once.
    const StandInClient client(m_dir->path(), "case $last in /squid-internal-mgr/*) ;; *) echo purged; exit 0;; esac\n"
                                              "d=${0%/*}; echo 'part 1'\n"
                                              "while [ ! -e \"$d/more\" ]; do sleep 0.01; done; echo 'part 2'\n"
                                              "while [ ! -e \"$d/end\" ]; do sleep 0.01; done; echo 'part 3'\n"
                                              "exit 0\n");
    openWindow();
    auto *text3 = control<OutputBox>("Text3");
    OutputDocument *doc = text3->document();
    m_window->setStatusPause(0);
    QTest::mouseClick(control<QPushButton>("Command2"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(doc->text(), QStringLiteral("part 1\r\n"), kForever);

    // What arrives next is added; what the operator selected stays.
    doc->setSelection(5, 2);
    QVERIFY(FileBytes::write(m_dir->filePath(QStringLiteral("more")), QByteArray()));
    QTRY_COMPARE_WITH_TIMEOUT(doc->text(), QStringLiteral("part 1\r\npart 2\r\n"), kForever);
    QCOMPARE(doc->selectedText(), QStringLiteral("rt "));
    QVERIFY(m_window->statusFollowed());

    // A purge takes the box; the query is not stopped, and adds nothing more.
    ModalWatcher watcher;
    QTest::mouseClick(control<QPushButton>("Command1"), Qt::LeftButton);
    QCOMPARE(watcher.seen().size(), 1);
    QVERIFY(!m_window->statusFollowed());
    const QString purged = doc->text();
    QVERIFY(FileBytes::write(m_dir->filePath(QStringLiteral("end")), QByteArray()));
    const QString result = StatusQuery::resultPath(m_window->folder());
    QTRY_COMPARE_WITH_TIMEOUT(FileBytes::read(result), QByteArray("part 1\npart 2\npart 3\n"), kForever);
    QCoreApplication::processEvents();
    QCOMPARE(doc->text(), purged);
}

void TestWindow::serverListTooLarge_data()
{
    QTest::addColumn<qint64>("size"); // of the server list, a sparse file
    QTest::addColumn<qint64>("room"); // the address space left to the process
    QTest::addColumn<QString>("reason");
    QTest::addColumn<qsizetype>("lineEnds"); // the file holds only these, when not 0
    // The box explains it in the window's words, not the library's.
    QTest::newRow("more than memory allows")
            << (qint64(48) << 20) << (qint64(64) << 20)
            << CacheWindow::tr("The text is too large for this computer's memory.") << qsizetype(0);
    // Not even tried: no list of servers is that long, and a sparse file of
    // gigabytes would take memory by what its size claims.
    QTest::newRow("larger than any server list")
            << (qint64(4) << 30) << (qint64(512) << 20)
            << QCoreApplication::translate("ServerList",
                                           "The file is larger than %1 MiB, far more than any list of servers; it is "
                                           "left as it is and not shown.")
                       .arg(ServerList::kMaxBytes >> 20)
            << qsizetype(0);
    // Each line is an item on screen, a few hundred bytes: 64 MiB of line ends
    // would take gigabytes.
    QTest::newRow("more lines than any server list")
            << qint64(0) << (qint64(512) << 20)
            << QCoreApplication::translate("ServerList",
                                           "The file has more than %1 lines, far more than any list of servers; it "
                                           "is left as it is and not shown.")
                       .arg(ServerList::kMaxLines)
            << ServerList::kMaxLines; // one more is added by the click
    // A list lays out each item whole: one line of 64 MiB takes gigabytes.
    QTest::newRow("a line longer than any server's name")
            << qint64(ServerList::kMaxLineChars + 1) << (qint64(512) << 20)
            << QCoreApplication::translate("ServerList",
                                           "The file has a line of more than %1 characters, far longer than any "
                                           "server's name; it is left as it is and not shown.")
                       .arg(ServerList::kMaxLineChars)
            << qsizetype(0);
}

void TestWindow::serverListTooLarge()
{
    QFETCH(qint64, size);
    QFETCH(qint64, room);
    QFETCH(QString, reason);
    QFETCH(qsizetype, lineEnds);
    openWindow();
    QFile huge(serverFile());
    QVERIFY(huge.open(QIODevice::WriteOnly));
    QVERIFY(lineEnds ? huge.write(QByteArray("\r\n").repeated(lineEnds)) == 2 * lineEnds : huge.resize(size));
    huge.close();
    rlimit saved{};
    QCOMPARE(getrlimit(RLIMIT_AS, &saved), 0);
    rlimit lowered = saved;
    lowered.rlim_cur = rlim_t(addressSpace() + room);
    QCOMPARE(setrlimit(RLIMIT_AS, &lowered), 0);
    ModalWatcher watcher;
    QTest::mouseClick(control<QPushButton>("Command3"), Qt::LeftButton); // appends, then reads the list
    setrlimit(RLIMIT_AS, &saved);
    QCOMPARE(watcher.seen().size(), 1);
    const ModalWatcher::Seen &box = watcher.seen().first();
    QCOMPARE(box.objectName, QStringLiteral("failureBox"));
    QVERIFY2(box.text.contains(reason), qPrintable(box.text));
    QVERIFY(m_window->isVisible());
}

void TestWindow::messagesInTheUiLanguage_data()
{
    QTest::addColumn<QStringList>("languages");
    QTest::addColumn<bool>("chinese");
    QTest::newRow("Chinese") << QStringList{"zh-CN", "zh", "en-US"} << true;
    QTest::newRow("Taiwan") << QStringList{"zh-TW"} << true;
    QTest::newRow("English") << QStringList{"en-US", "en"} << false;
    QTest::newRow("German, then English") << QStringList{"de-DE", "en-GB"} << false;
    QTest::newRow("German, then Chinese") << QStringList{"de-DE", "zh-CN"} << true;
    // LANG=C: no language at all; the window's own language.
    QTest::newRow("C locale") << QStringList{"C"} << true;
    QTest::newRow("nothing said") << QStringList{} << true;
}

void TestWindow::messagesInTheUiLanguage()
{
    QFETCH(QStringList, languages);
    QFETCH(bool, chinese);
    QCOMPARE(UiLanguage::wantsChinese(languages), chinese);
    // The environment this test runs in, as CTest sets it for each run of it.
    const QByteArray expected = qgetenv("QUELLORY_EXPECT_MESSAGES");
    if (!expected.isEmpty())
        QCOMPARE(UiLanguage::wantsChinese(QLocale::system().uiLanguages()), expected == "zh");
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // As the program does: the messages follow the system's UI language, and a
    // screen reader gets the output box's own interface.
    UiLanguage::install(&app);
    OutputBoxAccessible::install();
    TestWindow test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_window.moc"
