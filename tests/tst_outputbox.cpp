// The output box (Text3) draws and edits like the QPlainTextEdit it replaces:
// a QPlainTextEdit set up as Text3 was is the reference wherever the two can be
// compared. Its text buffer and long lines are tst_outputboxtext's.
#include "outputbox/widget/outputbox.h"
#include "outputbox/widget/outputboxaccessible.h"
#include "outputbox/document/outputdocument.h"
#include "window/boxtext.h"
#include "window/textarea.h"

#include "sidebyside.h"
#include "stepscript.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollBar>
#include <QTextLayout>
#include <QtTest>

#include <memory>

namespace {

QString u(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

// Differing pixels, or an empty string; both images are saved for a look when
// they differ.
QString difference(const QImage &actual, const QImage &expected, const QString &name)
{
    if (actual.size() != expected.size())
        return QStringLiteral("sizes differ: %1x%2 and %3x%4")
                .arg(actual.width())
                .arg(actual.height())
                .arg(expected.width())
                .arg(expected.height());
    int count = 0;
    QRect where;
    for (int y = 0; y < actual.height(); ++y) {
        for (int x = 0; x < actual.width(); ++x) {
            if (actual.pixel(x, y) != expected.pixel(x, y)) {
                ++count;
                where |= QRect(x, y, 1, 1);
            }
        }
    }
    if (count == 0)
        return QString();
    QString file = name;
    file.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9]+")), QStringLiteral("-"));
    actual.save(QDir::temp().filePath(QStringLiteral("outputbox-%1-box.png").arg(file)));
    expected.save(QDir::temp().filePath(QStringLiteral("outputbox-%1-reference.png").arg(file)));
    return QStringLiteral("%1 pixels differ within (%2,%3 %4x%5)")
            .arg(count)
            .arg(where.x())
            .arg(where.y())
            .arg(where.width())
            .arg(where.height());
}

// Plays a script of keys on a box ("type:..." and "key:...").
void playKeys(QWidget *target, const QString &script)
{
    for (const StepScript::Step &step : StepScript::parse(script))
        QVERIFY2(StepScript::playKey(target, step), qPrintable(step.text));
}

QString hundredLines()
{
    QString text;
    for (int i = 0; i < 100; ++i)
        text += QStringLiteral("line %1 %2\r\n").arg(i).arg(QString(i % 7 * 3, u'x'));
    return text;
}

} // namespace

class TestOutputBox : public QObject
{
    Q_OBJECT

private slots:
    void pixelsMatchReference_data();
    void pixelsMatchReference();
    void scrollRangesMatchReference_data();
    void scrollRangesMatchReference();

    void keysMatchReference_data();
    void keysMatchReference();
    void mouseMatchesReference_data();
    void mouseMatchesReference();
    void inputMethodMatchesReference_data();
    void inputMethodMatchesReference();
    void inputMethodQueries();
    void clipboard_data();
    void clipboard();
    void undoRedo_data();
    void undoRedo();
    void crlfBoundary_data();
    void crlfBoundary();
    void screenMatchesAFreshPaint_data();
    void screenMatchesAFreshPaint();
    void dropMatchesReference_data();
    void dropMatchesReference();
    void movedTextIsOneUndoStep();
    void tabLeavesTheBox();
    void contextMenu();
    void accessibleText();

    void bigTextsShowWhole_data();
    void bigTextsShowWhole();
    void longLineEdits();
    void answerAppendedKeepsTheView_data();
    void answerAppendedKeepsTheView();
};

// ---------------------------------------------------------------------------
// Pixels

void TestOutputBox::pixelsMatchReference_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("top");  // first line in view; -1 for the last page
    QTest::addColumn<int>("left"); // horizontal scroll; -1 for the far end
    QTest::addColumn<int>("selectionStart");
    QTest::addColumn<int>("selectionEnd");

    const QString request = u("GET http://example.com/a?b=c HTTP/1.1\r\nHost: example.com\r\n\r\n"
                              "AVAVA To Wa LT yY fi ffl\r\nX-Cache: MISS from squid");
    const QString wide = u("文件不存在！！\r\n文件不存在！！文件不存在！！\r\nabc 文件 def\r\n");
    const QString tabs = u("a\tb\tc\r\n\tindented\r\nxx\t\tyy\r\n\t");
    const QString blanks = u("\r\n\r\nmiddle\r\n\r\n");
    QString longLine;
    for (int i = 0; i < 40; ++i)
        longLine += QStringLiteral("http://example.com/some/path/%1?x=%2 ").arg(i).arg(i * 7);
    QString manyLines;
    for (int i = 0; i < 300; ++i)
        manyLines += (i % 3 == 1 ? u("文件不存在！！ line %1\r\n") : u("line %1 of the answer\r\n")).arg(i);
    const QString wideRun = u("文件不存在！！").repeated(2000);
    const QString kernedRun = u("AVAVA To Wa LT yY fi ffl r. P, ").repeated(400);
    const QString tabbedRun = u("ab\tcdef\t\tAV To\t").repeated(500);

    QTest::newRow("request") << request << 0 << 0 << 0 << 0;
    QTest::newRow("wide text") << wide << 0 << 0 << 0 << 0;
    QTest::newRow("tabs") << tabs << 0 << 0 << 0 << 0;
    QTest::newRow("empty lines") << blanks << 0 << 0 << 0 << 0;
    QTest::newRow("empty") << QString() << 0 << 0 << 0 << 0;
    QTest::newRow("line wider than the box") << longLine << 0 << 0 << 0 << 0;
    QTest::newRow("line wider than the box, far end") << longLine << 0 << -1 << 0 << 0;
    QTest::newRow("line wider than the box, middle") << longLine << 0 << 700 << 0 << 0;
    QTest::newRow("many lines, scrolled") << manyLines << 57 << 0 << 0 << 0;
    QTest::newRow("many lines, last page") << manyLines << -1 << 0 << 0 << 0;
    QTest::newRow("selection over lines") << request << 0 << 0 << 10 << 75;
    QTest::newRow("selection with a line break") << request << 0 << 0 << 20 << 39;
    QTest::newRow("selection of an empty line") << blanks << 0 << 0 << 1 << 2;
    QTest::newRow("selection of wide text") << wide << 0 << 0 << 3 << 12;
    QTest::newRow("selection of tabs") << tabs << 0 << 0 << 1 << 9;
    QTest::newRow("selection from above the view") << manyLines << 57 << 0 << 100 << 1700;
    QTest::newRow("long wide line") << wideRun << 0 << 0 << 0 << 0;
    QTest::newRow("long wide line, middle") << wideRun << 0 << 84000 << 0 << 0;
    QTest::newRow("long wide line, far end") << wideRun << 0 << -1 << 0 << 0;
    QTest::newRow("long wide line, selected") << wideRun << 0 << 500 << 20 << 13000;
    QTest::newRow("long kerned line, middle") << kernedRun << 0 << 30000 << 0 << 0;
    QTest::newRow("long kerned line, far end") << kernedRun << 0 << -1 << 0 << 0;
    QTest::newRow("long kerned line, selected") << kernedRun << 0 << 30000 << 4000 << 12400;
    QTest::newRow("long tabbed line, middle") << tabbedRun << 0 << 40000 << 0 << 0;
    QTest::newRow("long tabbed line, selected") << tabbedRun << 0 << 40000 << 3000 << 7000;
    QTest::newRow("long line among others")
            << (manyLines.left(2000) + wideRun + u("\r\n") + manyLines.left(2000)) << 40 << 3000 << 0 << 0;
}

void TestOutputBox::pixelsMatchReference()
{
    QFETCH(QString, text);
    QFETCH(int, top);
    QFETCH(int, left);
    QFETCH(int, selectionStart);
    QFETCH(int, selectionEnd);

    SideBySide boxes;
    QVERIFY(QTest::qWaitForWindowExposed(&boxes.window));
    boxes.setText(text);
    if (selectionEnd > selectionStart)
        boxes.select(selectionStart, selectionEnd);
    // Lines are laid out as they are shown: show the lines first, then scroll
    // sideways once the reference knows how wide they are.
    for (QAbstractScrollArea *area :
         {static_cast<QAbstractScrollArea *>(boxes.reference), static_cast<QAbstractScrollArea *>(boxes.box)}) {
        QScrollBar *vertical = area->verticalScrollBar();
        vertical->setValue(top < 0 ? vertical->maximum() : top);
        area->viewport()->grab();
        QScrollBar *horizontal = area->horizontalScrollBar();
        horizontal->setValue(left < 0 ? horizontal->maximum() : left);
    }
    QCOMPARE(boxes.box->verticalScrollBar()->value(), boxes.reference->verticalScrollBar()->value());
    QCOMPARE(boxes.box->horizontalScrollBar()->value(), boxes.reference->horizontalScrollBar()->value());

    const QImage expected = boxes.reference->viewport()->grab().toImage();
    const QImage actual = boxes.box->viewport()->grab().toImage();
    const QString differs = difference(actual, expected, QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY2(differs.isEmpty(), qPrintable(differs));
}

void TestOutputBox::scrollRangesMatchReference_data()
{
    QTest::addColumn<QString>("text");
    QString manyLines;
    for (int i = 0; i < 300; ++i)
        manyLines += (i % 3 == 1 ? u("文件不存在！！ line %1\r\n") : u("line %1 of the answer\r\n")).arg(i);
    QTest::newRow("empty") << QString();
    QTest::newRow("a few lines") << u("a\r\nb\r\nc");
    QTest::newRow("many lines") << manyLines;
    QTest::newRow("wide last lines") << (manyLines + u("文件不存在！！\r\n").repeated(40));
    QTest::newRow("a wide last line") << (manyLines + u("x").repeated(3000));
    QTest::newRow("a long wide line") << u("文件不存在！！").repeated(2000);
}

void TestOutputBox::scrollRangesMatchReference()
{
    QFETCH(QString, text);
    SideBySide boxes;
    QVERIFY(QTest::qWaitForWindowExposed(&boxes.window));
    boxes.setText(text);
    boxes.reference->viewport()->grab();
    boxes.box->viewport()->grab();
    for (auto bar : {&QAbstractScrollArea::verticalScrollBar, &QAbstractScrollArea::horizontalScrollBar}) {
        const QScrollBar *expected = (boxes.reference->*bar)();
        const QScrollBar *actual = (boxes.box->*bar)();
        QCOMPARE(actual->maximum(), expected->maximum());
        QCOMPARE(actual->pageStep(), expected->pageStep());
        QCOMPARE(actual->singleStep(), expected->singleStep());
    }
    QCOMPARE(boxes.box->grab().toImage(), boxes.reference->grab().toImage());
}

// ---------------------------------------------------------------------------
// Editing

void TestOutputBox::keysMatchReference_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("start");
    QTest::addColumn<QString>("script");

    QTest::newRow("typing and Backspace")
            << QString() << 0 << u("type:hello world|key:Backspace|key:Backspace|key:Left|key:Left|type:X");
    QTest::newRow("Enter splits a line") << u("abc\r\ndef") << 1 << u("key:Return|type:Z|key:Return");
    QTest::newRow("Home and End") << u("first line\r\nsecond line") << 3
                                  << u("key:Down|key:End|type:!|key:Home|type:^|key:Up|key:End|type:$");
    QTest::newRow("start and end of the text")
            << u("a\r\nbb\r\nccc") << 2 << u("key:Ctrl+End|type:Z|key:Ctrl+Home|type:A");
    QTest::newRow("words in a URL")
            << u("http://a.example/b?c=d&e=f  g h") << 0
            << u("key:Ctrl+Right|key:Ctrl+Right|key:Ctrl+Right|type:1|key:Ctrl+Right|key:Ctrl+Right|key:Ctrl+Right|"
                 "key:Ctrl+Right|type:2|"
                 "key:Ctrl+Right|key:Ctrl+Right|key:Ctrl+Right|key:Ctrl+Right|type:3|key:Ctrl+Left|key:Ctrl+Left|key:"
                 "Ctrl+Left|type:4");
    QTest::newRow("words across lines")
            << u("ab cd\r\nef") << 3
            << u("key:Ctrl+Right|key:Ctrl+Right|key:Ctrl+Right|type:1|key:Ctrl+Left|key:Ctrl+Left|key:Ctrl+Left|"
                 "key:Ctrl+Left|type:2");
    QTest::newRow("Shift selects, typing replaces")
            << u("one two\r\nthree") << 2 << u("key:Shift+Right|key:Shift+Right|key:Shift+Down|type:X");
    QTest::newRow("Shift+Home and Backspace") << u("abc def") << 5 << u("key:Shift+Home|key:Backspace");
    QTest::newRow("Shift+Ctrl+End") << u("abc\r\ndef\r\nghi") << 5 << u("key:Shift+Ctrl+End|key:Del");
    QTest::newRow("Delete joins lines") << u("ab\r\ncd") << 2 << u("key:Del|type:-");
    QTest::newRow("Backspace joins lines") << u("ab\r\ncd") << 4 << u("key:Backspace|type:-");
    QTest::newRow("arrows leave a selection at its ends")
            << u("abcdef") << 2
            << u("key:Shift+Right|key:Shift+Right|key:Left|type:[|key:Shift+Left|key:Shift+Left|key:Right|type:]");
    QTest::newRow("Up and Down keep the column") << u("a long first line\r\nab\r\na long third line") << 12
                                                 << u("key:Down|key:Down|type:#|key:Up|key:Up|type:@");
    QTest::newRow("Up on the first line, Down on the last")
            << u("abc\r\ndef") << 1 << u("key:Up|type:<|key:Down|key:Down|type:>");
    QTest::newRow("Up and Down over wide text") << u("abcdefghijkl\r\n文件不存在！！\r\nabcdefghijkl") << 9
                                                << u("key:Down|type:1|key:Down|type:2|key:Up|key:Up|type:3");
    QTest::newRow("accents and surrogates")
            << u("a😀b e\u0301x") << 0
            << u("key:Right|key:Right|type:1|key:Right|key:Right|key:Right|key:Del|type:2|key:End|key:Backspace|key:"
                 "Backspace|type:3|key:Home|key:Del|key:Del");
    QTest::newRow("wide text") << u("文件不存在！！ abc") << 0
                               << u("key:Ctrl+Right|type:1|key:End|key:Ctrl+Left|type:2|key:Shift+Home|key:Del");
    QTest::newRow("line separator") << QString() << 0
                                    << u("type:ab|key:Shift+Return|type:cd|key:Up|type:e|key:Down|key:End|type:f");
    QTest::newRow("delete words") << u("alpha beta gamma") << 9 << u("key:Ctrl+Backspace|type:X|key:Ctrl+Del|type:Y");
    QTest::newRow("select all and type") << u("a\r\nb") << 0 << u("key:Ctrl+A|type:Z");
    QTest::newRow("Page Down and Page Up")
            << hundredLines() << 0 << u("key:PgDown|type:D|key:PgDown|type:E|key:PgUp|type:U");
    QTest::newRow("Shift+Page Down") << hundredLines() << 5 << u("key:Shift+PgDown|key:Del");
    QTest::newRow("Page Down at the end")
            << hundredLines() << 1200 << u("key:PgDown|key:PgDown|type:Z|key:PgUp|key:PgUp|key:PgUp|type:A");
}

void TestOutputBox::keysMatchReference()
{
    // The same keys on both boxes leave the same text and the same caret.
    QFETCH(QString, text);
    QFETCH(int, start);
    QFETCH(QString, script);
    SideBySide boxes;
    QVERIFY(QTest::qWaitForWindowExposed(&boxes.window));
    boxes.setText(text);
    boxes.select(start, start);
    playKeys(boxes.reference, script);
    playKeys(boxes.box, script);
    QCOMPARE(boxes.box->document()->text(), BoxText::text(boxes.reference));
    QCOMPARE(boxes.box->document()->cursorPosition(), boxes.reference->textCursor().position());
    QCOMPARE(boxes.box->document()->anchorPosition(), boxes.reference->textCursor().anchor());
    QCOMPARE(boxes.box->firstVisibleLine(), boxes.reference->verticalScrollBar()->value());
}

void TestOutputBox::mouseMatchesReference_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("left");
    QTest::addColumn<QString>("script"); // click/shift/double/drag with viewport points

    const QString request = u("GET http://example.com/a?b=c HTTP/1.1\r\nHost: example.com\r\n\r\n"
                              "AVAVA To Wa LT yY fi ffl\r\nX-Cache: MISS from squid");
    const QString wide = u("文件不存在！！\r\n文件不存在！！文件不存在！！\r\nabc 文件 def\r\n");
    QTest::newRow("click in a line") << request << 0 << u("click 60 10");
    QTest::newRow("click past a line's end") << request << 0 << u("click 800 25");
    QTest::newRow("click below the text") << request << 0 << u("click 100 300");
    QTest::newRow("click on wide text") << wide << 0 << u("click 50 26");
    QTest::newRow("drag over lines") << request << 0 << u("drag 30 8 120 40");
    QTest::newRow("Shift+click") << request << 0 << u("click 30 8|shift 200 25");
    QTest::newRow("double click in a URL") << request << 0 << u("double 60 10");
    QTest::newRow("double click on wide text") << wide << 0 << u("double 30 24");
    QTest::newRow("double click on a blank") << request << 0 << u("double 28 10");
    QTest::newRow("click on a long line") << u("文件不存在！！").repeated(2000) << 84000 << u("click 300 10");
    QTest::newRow("double click on a long kerned line")
            << u("AVAVA To Wa LT yY fi ffl r. P, ").repeated(400) << 30000 << u("double 301 10");
}

void TestOutputBox::mouseMatchesReference()
{
    QFETCH(QString, text);
    QFETCH(int, left);
    QFETCH(QString, script);
    SideBySide boxes;
    QVERIFY(QTest::qWaitForWindowExposed(&boxes.window));
    boxes.setText(text);
    for (QAbstractScrollArea *area :
         {static_cast<QAbstractScrollArea *>(boxes.reference), static_cast<QAbstractScrollArea *>(boxes.box)}) {
        area->viewport()->grab();
        area->horizontalScrollBar()->setValue(left);
    }
    for (QWidget *viewport : {boxes.reference->viewport(), boxes.box->viewport()}) {
        for (const QString &step : script.split(u'|')) {
            const QStringList words = step.split(u' ');
            const QPoint at(words.at(1).toInt(), words.at(2).toInt());
            if (words.first() == u"click") {
                QTest::mouseClick(viewport, Qt::LeftButton, {}, at);
            } else if (words.first() == u"shift") {
                QTest::mouseClick(viewport, Qt::LeftButton, Qt::ShiftModifier, at);
            } else if (words.first() == u"double") {
                QTest::mouseDClick(viewport, Qt::LeftButton, {}, at);
            } else if (words.first() == u"drag") {
                const QPoint to(words.at(3).toInt(), words.at(4).toInt());
                QTest::mousePress(viewport, Qt::LeftButton, {}, at);
                QTest::mouseMove(viewport, (at + to) / 2);
                QTest::mouseMove(viewport, to);
                QTest::mouseRelease(viewport, Qt::LeftButton, {}, to);
            }
        }
    }
    QCOMPARE(boxes.box->document()->cursorPosition(), boxes.reference->textCursor().position());
    QCOMPARE(boxes.box->document()->anchorPosition(), boxes.reference->textCursor().anchor());
}

void TestOutputBox::inputMethodMatchesReference_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("anchor");
    QTest::addColumn<int>("cursor");
    QTest::addColumn<QStringList>("events"); // "preedit:..." or "commit:..." or "replace:start,length,text"

    QTest::newRow("commit") << u("abc") << 3 << 3 << QStringList{u("commit:文件")};
    QTest::newRow("compose, then commit")
            << u("ab\r\ncd") << 1 << 1 << QStringList{u("preedit:w"), u("preedit:wenjian"), u("commit:文件")};
    QTest::newRow("compose over a selection") << u("abcdef") << 1 << 4 << QStringList{u("preedit:bu"), u("commit:不")};
    QTest::newRow("commit replaces a selection") << u("abc\r\ndef") << 2 << 6 << QStringList{u("commit:存在")};
    QTest::newRow("replace before the caret") << u("abc") << 3 << 3 << QStringList{u("replace:-2,1,X")};
    QTest::newRow("cancelled composition") << u("abc") << 1 << 1 << QStringList{u("preedit:wen"), u("preedit:")};
}

void TestOutputBox::inputMethodMatchesReference()
{
    QFETCH(QString, text);
    QFETCH(int, anchor);
    QFETCH(int, cursor);
    QFETCH(QStringList, events);
    SideBySide boxes;
    QVERIFY(QTest::qWaitForWindowExposed(&boxes.window));
    boxes.setText(text);
    boxes.select(anchor, cursor);
    for (const QString &step : events) {
        const QString value = step.section(u':', 1);
        QList<QInputMethodEvent::Attribute> attributes;
        QString preedit;
        QString commit;
        int replaceFrom = 0;
        int replaceLength = 0;
        if (step.startsWith(u"preedit:")) {
            preedit = value;
            attributes.append({QInputMethodEvent::Cursor, int(preedit.size()), 1, QVariant()});
        } else if (step.startsWith(u"commit:")) {
            commit = value;
        } else {
            const QStringList parts = value.split(u',');
            replaceFrom = parts.at(0).toInt();
            replaceLength = parts.at(1).toInt();
            commit = parts.at(2);
        }
        for (QWidget *target : {static_cast<QWidget *>(boxes.reference), static_cast<QWidget *>(boxes.box)}) {
            QInputMethodEvent event(preedit, attributes);
            event.setCommitString(commit, replaceFrom, replaceLength);
            QApplication::sendEvent(target, &event);
        }
        QCOMPARE(boxes.box->document()->text(), BoxText::text(boxes.reference));
    }
    QCOMPARE(boxes.box->document()->cursorPosition(), boxes.reference->textCursor().position());
    QCOMPARE(boxes.box->document()->anchorPosition(), boxes.reference->textCursor().anchor());
    // What is being composed shows in the box.
    boxes.box->viewport()->grab();
}

void TestOutputBox::inputMethodQueries()
{
    SideBySide boxes;
    QVERIFY(QTest::qWaitForWindowExposed(&boxes.window));
    boxes.setText(u("first\r\nsecond 文件 line\r\nthird"));
    // Across a line break, which an input method gets as a paragraph separator.
    boxes.select(3, 12);
    for (Qt::InputMethodQuery query :
         {Qt::ImEnabled, Qt::ImCursorPosition, Qt::ImAnchorPosition, Qt::ImSurroundingText, Qt::ImCurrentSelection,
          Qt::ImAbsolutePosition, Qt::ImTextBeforeCursor, Qt::ImTextAfterCursor, Qt::ImHints, Qt::ImFont}) {
        QCOMPARE(boxes.box->inputMethodQuery(query), boxes.reference->inputMethodQuery(query));
    }
    // The caret's rectangle, in the box's own coordinates, is where the caret
    // is drawn.
    const QRect caret = boxes.box->inputMethodQuery(Qt::ImCursorRectangle).toRect();
    const QRect drawn = boxes.box->cursorRect().translated(boxes.box->viewport()->pos());
    QCOMPARE(caret, drawn);
    QCOMPARE(caret.topLeft(), boxes.reference->cursorRect().topLeft() + boxes.reference->viewport()->pos());
}

void TestOutputBox::clipboard_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("anchor");
    QTest::addColumn<int>("cursor");
    QTest::addColumn<QString>("action"); // copy, cut or paste:<clipboard text>
    QTest::addColumn<QString>("clipboard");
    QTest::addColumn<QString>("result");

    // The clipboard gets '\n' between lines, as QPlainTextEdit puts it there and
    // as other programs here expect; the box's own text keeps CR LF.
    QTest::newRow("copy over a line break") << u("ab\r\ncd") << 1 << 4 << u("copy") << u("b\nc") << u("ab\r\ncd");
    QTest::newRow("copy a line with its break") << u("ab\r\ncd") << 0 << 3 << u("copy") << u("ab\n") << u("ab\r\ncd");
    QTest::newRow("copy a line separator") << u("a\u2028b") << 0 << 3 << u("copy") << u("a\nb") << u("a\u2028b");
    // Unlike QPlainTextEdit, which turns them into blanks: the answers are
    // copied as they are.
    QTest::newRow("copy keeps no-break spaces")
            << u("a\u00a0b") << 0 << 3 << u("copy") << u("a\u00a0b") << u("a\u00a0b");
    QTest::newRow("cut") << u("abc\r\ndef") << 2 << 6 << u("cut") << u("c\nde") << u("abf");
    QTest::newRow("paste CR LF") << u("ab") << 1 << 1 << u("paste:x\r\ny") << u("x\r\ny") << u("ax\r\nyb");
    QTest::newRow("paste LF and lone CR")
            << u("ab") << 1 << 1 << u("paste:x\ny\rz") << u("x\ny\rz") << u("ax\r\ny\r\nzb");
    QTest::newRow("paste over a selection") << u("abcd") << 1 << 3 << u("paste:文件") << u("文件") << u("a文件d");
    QTest::newRow("copy without a selection keeps the clipboard")
            << u("ab") << 1 << 1 << u("copy") << u("kept") << u("ab");
}

void TestOutputBox::clipboard()
{
    QFETCH(QString, text);
    QFETCH(int, anchor);
    QFETCH(int, cursor);
    QFETCH(QString, action);
    QFETCH(QString, clipboard);
    QFETCH(QString, result);
    OutputBox box;
    box.document()->setText(QString(text));
    box.document()->setSelection(anchor, cursor);
    QGuiApplication::clipboard()->setText(u("kept"));
    if (action == u"copy") {
        box.copy();
    } else if (action == u"cut") {
        box.cut();
    } else {
        QGuiApplication::clipboard()->setText(action.mid(6));
        box.paste();
    }
    QCOMPARE(QGuiApplication::clipboard()->text(), clipboard);
    QCOMPARE(box.document()->text(), result);
}

void TestOutputBox::undoRedo_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("start");
    QTest::addColumn<QString>("script");
    QTest::addColumn<QStringList>("states"); // the text after each Ctrl+Z, then after each redo

    QTest::newRow("typing is one step") << u("x") << 1 << u("type:abc def") << QStringList{u("x"), u("xabc def")};
    QTest::newRow("a line break is a step of its own")
            << u("x") << 1 << u("type:ab|key:Return|type:cd")
            << QStringList{u("xab\r\n"), u("xab"), u("x"), u("xab"), u("xab\r\n"), u("xab\r\ncd")};
    QTest::newRow("Backspaces are one step") << u("hello world") << 11 << u("key:Backspace|key:Backspace|key:Backspace")
                                             << QStringList{u("hello world"), u("hello wo")};
    QTest::newRow("typing over a selection")
            << u("hello world") << 0 << u("key:Shift+End|type:bye") << QStringList{u("hello world"), u("bye")};
    QTest::newRow("a caret move ends a step")
            << u("") << 0 << u("type:ab|key:Left|type:c") << QStringList{u("ab"), u(""), u("ab"), u("acb")};
    QTest::newRow("delete a whole answer") << u("line\r\n").repeated(1000) << 0 << u("key:Ctrl+A|key:Del")
                                           << QStringList{u("line\r\n").repeated(1000), QString()};
}

void TestOutputBox::undoRedo()
{
    QFETCH(QString, text);
    QFETCH(int, start);
    QFETCH(QString, script);
    QFETCH(QStringList, states);
    OutputBox box;
    box.resize(kText3Size);
    box.document()->setText(QString(text));
    box.document()->setCursorPosition(start);
    playKeys(&box, script);
    const QString edited = box.document()->text();
    const qsizetype undos = states.size() / 2;
    for (qsizetype i = 0; i < undos; ++i) {
        QVERIFY(box.document()->isUndoAvailable());
        QTest::keySequence(&box, QKeySequence::Undo);
        QCOMPARE(box.document()->text(), states.at(i));
    }
    QVERIFY(!box.document()->isUndoAvailable());
    for (qsizetype i = undos; i < states.size(); ++i) {
        QVERIFY(box.document()->isRedoAvailable());
        QTest::keySequence(&box, QKeySequence::Redo);
        QCOMPARE(box.document()->text(), states.at(i));
    }
    QVERIFY(!box.document()->isRedoAvailable());
    QCOMPARE(box.document()->text(), edited);
    // A new text starts a new history.
    box.document()->setText(u("new"));
    QVERIFY(!box.document()->isUndoAvailable());
}

void TestOutputBox::crlfBoundary_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << QString();
    QTest::newRow("lines") << u("a\r\n\r\nb");
    QTest::newRow("trailing line end") << u("a\r\nb\r\n");
    QTest::newRow("LF and lone CR come back as CR LF") << u("a\nb\rc\r\r\nd");
    QTest::newRow("no-break space and tab kept") << u("a\u00a0b\tc");
    QTest::newRow("wide text") << u("文件不存在！！\r\n文件不存在！！");
}

void TestOutputBox::crlfBoundary()
{
    // What goes in through BoxText comes back as it does from the QPlainTextEdit
    // the box replaces.
    QFETCH(QString, text);
    OutputBox box;
    QPlainTextEdit reference;
    QString moved = text;
    BoxText::setText(&box, std::move(moved));
    BoxText::setText(&reference, text);
    QCOMPARE(box.document()->text(), BoxText::text(&reference));
    QCOMPARE(box.document()->lineCount(), reference.blockCount());
}

void TestOutputBox::screenMatchesAFreshPaint_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("script");
    QString manyLines;
    for (int i = 0; i < 300; ++i)
        manyLines += (i % 3 == 1 ? u("文件不存在！！ line %1\r\n") : u("line %1 of the answer\r\n")).arg(i);
    QTest::newRow("caret over lines") << u("abc\r\ndefgh\r\n文件\r\n")
                                      << u("key:Down|key:Down|key:Right|key:Up|key:End|key:Ctrl+Home");
    QTest::newRow("typing and erasing") << u("abc\r\ndef")
                                        << u("type:xyz|key:Return|key:Backspace|key:Backspace|key:Del|key:Ctrl+Z");
    QTest::newRow("selecting") << u("abc\r\ndefgh\r\nij")
                               << u("key:Shift+Down|key:Shift+Right|key:Shift+Up|key:Left|key:Shift+End");
    QTest::newRow("scrolling by keys") << manyLines
                                       << u("key:PgDown|key:PgDown|key:Down|key:Ctrl+End|key:Shift+PgUp|key:Ctrl+Home");
    QTest::newRow("long line") << u("文件不存在！！").repeated(3000)
                               << u("key:End|key:Left|type:x|key:Home|key:Shift+Right");
}

void TestOutputBox::screenMatchesAFreshPaint()
{
    // After every step, what is on screen (the window's backing store) is what a
    // full repaint gives: the box updates every place it changes, the caret's
    // old place included.
    QFETCH(QString, text);
    QFETCH(QString, script);
    const int flash = QApplication::cursorFlashTime();
    QApplication::setCursorFlashTime(0); // a caret that does not blink
    QWidget window;
    window.resize(kText3Size + QSize(20, 20));
    auto *box = new OutputBox(&window);
    box->setGeometry(QRect(QPoint(10, 10), kText3Size));
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    box->setFocus();
    box->document()->setText(QString(text));
    for (const QString &step : script.split(u'|')) {
        playKeys(box, step);
        QApplication::processEvents();
        QApplication::processEvents();
        const QRect area(box->viewport()->mapTo(&window, QPoint(0, 0)), box->viewport()->size());
        const QImage screen = window.screen()->grabWindow(window.winId()).toImage().copy(area);
        const QImage fresh = box->viewport()->grab().toImage();
        const QString differs = difference(screen.convertToFormat(fresh.format()), fresh,
                                           QString::fromLatin1(QTest::currentDataTag()) + u' ' + step);
        QVERIFY2(differs.isEmpty(), qPrintable(step + QStringLiteral(": ") + differs));
    }
    QApplication::setCursorFlashTime(flash);
}

void TestOutputBox::dropMatchesReference_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QPoint>("at");
    QTest::addColumn<QString>("dropped");
    QTest::newRow("into a line") << u("abc def\r\nghi") << QPoint(20, 10) << u("XY");
    QTest::newRow("lines below the text") << u("abc\r\ndef") << QPoint(20, 200) << u("x\r\ny\nz");
    QTest::newRow("wide text") << u("文件不存在！！") << QPoint(40, 10) << u("存在");
}

void TestOutputBox::dropMatchesReference()
{
    // Text dragged in from another program lands where the reference puts it,
    // and is selected as there.
    QFETCH(QString, text);
    QFETCH(QPoint, at);
    QFETCH(QString, dropped);
    SideBySide boxes;
    QVERIFY(QTest::qWaitForWindowExposed(&boxes.window));
    boxes.setText(text);
    for (QAbstractScrollArea *area :
         {static_cast<QAbstractScrollArea *>(boxes.reference), static_cast<QAbstractScrollArea *>(boxes.box)}) {
        QMimeData data;
        data.setText(dropped);
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(area->viewport(), &enter);
        QVERIFY(enter.isAccepted());
        QDragMoveEvent move(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(area->viewport(), &move);
        QVERIFY(move.isAccepted());
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(area->viewport(), &drop);
        QVERIFY(drop.isAccepted());
    }
    QCOMPARE(boxes.box->document()->text(), BoxText::text(boxes.reference));
    QCOMPARE(boxes.box->document()->cursorPosition(), boxes.reference->textCursor().position());
    QCOMPARE(boxes.box->document()->anchorPosition(), boxes.reference->textCursor().anchor());
}

void TestOutputBox::movedTextIsOneUndoStep()
{
    // Moving text puts it in and takes it out; undo and redo take both at once.
    OutputDocument document;
    document.setText(u("abcdef"));
    document.setSelection(0, 2);
    document.drop(6, u("ab"), OutputDocument::DropKind::MoveSelection);
    QCOMPARE(document.text(), u("cdefab"));
    document.undo();
    QCOMPARE(document.text(), u("abcdef"));
    QVERIFY(!document.isUndoAvailable());
    document.redo();
    QCOMPARE(document.text(), u("cdefab"));
    QVERIFY(!document.isRedoAvailable());
}

void TestOutputBox::tabLeavesTheBox()
{
    QWidget window;
    auto *before = new QLineEdit(&window);
    auto *box = new OutputBox(&window);
    auto *after = new QLineEdit(&window);
    box->setGeometry(0, 30, 300, 100);
    after->move(0, 140);
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    box->document()->setText(u("a\r\nb"));
    box->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), box);
    QTest::keyClick(box, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), after);
    QTest::keyClick(after, Qt::Key_Backtab, Qt::ShiftModifier);
    QCOMPARE(QApplication::focusWidget(), box);
    QTest::keyClick(box, Qt::Key_Backtab, Qt::ShiftModifier);
    QCOMPARE(QApplication::focusWidget(), before);
    QCOMPARE(box->document()->text(), u("a\r\nb"));
}

void TestOutputBox::contextMenu()
{
    OutputBox box;
    box.document()->setText(u("ab\r\ncd"));
    QGuiApplication::clipboard()->clear();
    const auto actions = [](QMenu *menu) {
        QMap<QString, QAction *> byName;
        for (QAction *action : menu->actions()) {
            if (!action->isSeparator())
                byName.insert(action->objectName(), action);
        }
        return byName;
    };
    std::unique_ptr<QMenu> menu(box.createStandardContextMenu());
    auto byName = actions(menu.get());
    QCOMPARE(QStringList(byName.keys()).join(u' '),
             u("edit-copy edit-cut edit-delete edit-paste edit-redo edit-undo select-all"));
    for (const char *name : {"edit-undo", "edit-redo", "edit-cut", "edit-copy", "edit-paste", "edit-delete"})
        QVERIFY2(!byName.value(QString::fromLatin1(name))->isEnabled(), name);
    QVERIFY(byName.value(u("select-all"))->isEnabled());
    QVERIFY(byName.value(u("edit-copy"))->text().contains(QKeySequence(QKeySequence::Copy).toString()));

    byName.value(u("select-all"))->trigger();
    QCOMPARE(box.document()->selectedText(), u("ab\ncd"));
    menu.reset(box.createStandardContextMenu());
    byName = actions(menu.get());
    byName.value(u("edit-copy"))->trigger();
    QCOMPARE(QGuiApplication::clipboard()->text(), u("ab\ncd"));
    byName.value(u("edit-delete"))->trigger();
    QCOMPARE(box.document()->text(), QString());

    menu.reset(box.createStandardContextMenu());
    byName = actions(menu.get());
    QVERIFY(byName.value(u("edit-undo"))->isEnabled());
    QVERIFY(byName.value(u("edit-paste"))->isEnabled());
    QVERIFY(!byName.value(u("select-all"))->isEnabled());
    byName.value(u("edit-undo"))->trigger();
    QCOMPARE(box.document()->text(), u("ab\r\ncd"));
    // Undo leaves the caret after the text it brought back, unselected.
    QVERIFY(!box.document()->hasSelection());
    QCOMPARE(box.document()->cursorPosition(), 5);
    byName.value(u("edit-paste"))->trigger();
    QCOMPARE(box.document()->text(), u("ab\r\ncdab\r\ncd"));
    QCOMPARE(box.document()->cursorPosition(), 10);
}

void TestOutputBox::accessibleText()
{
    OutputBoxAccessible::install();
    QWidget window;
    auto *box = new OutputBox(&window);
    box->setGeometry(QRect(QPoint(0, 0), kText3Size));
    box->setObjectName(u("Text3"));
    box->setAccessibleName(u("Text3"));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    box->document()->setText(u("first\r\nsecond 文件\r\nthird"));

    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(box);
    QVERIFY(accessible);
    QCOMPARE(accessible->role(), QAccessible::EditableText);
    QCOMPARE(accessible->text(QAccessible::Name), u("Text3"));
    QVERIFY(accessible->state().editable);
    QVERIFY(accessible->state().multiLine);
    QCOMPARE(accessible->text(QAccessible::Value), u("first\nsecond 文件\nthird"));

    QAccessibleTextInterface *text = accessible->textInterface();
    QVERIFY(text);
    QCOMPARE(text->characterCount(), 21);
    QCOMPARE(text->text(3, 9), u("st\nsec"));
    box->document()->setSelection(6, 12);
    QCOMPARE(text->cursorPosition(), 12);
    QCOMPARE(text->selectionCount(), 1);
    int start = -1;
    int end = -1;
    text->selection(0, &start, &end);
    QCOMPARE(start, 6);
    QCOMPARE(end, 12);
    text->setSelection(0, 1, 3);
    QCOMPARE(box->document()->selectedText(), u("ir"));
    text->setCursorPosition(20);
    QCOMPARE(box->document()->cursorPosition(), 20);
    QVERIFY(!box->document()->hasSelection());

    QCOMPARE(text->textAtOffset(8, QAccessible::LineBoundary, &start, &end), u("second 文件\n"));
    QCOMPARE(start, 6);
    QCOMPARE(end, 16);
    QCOMPARE(text->textAtOffset(13, QAccessible::WordBoundary, &start, &end), u("文"));
    QCOMPARE(text->textAtOffset(7, QAccessible::WordBoundary, &start, &end), u("second"));
    QCOMPARE(text->textBeforeOffset(8, QAccessible::LineBoundary, &start, &end), u("first\n"));
    QCOMPARE(text->textAfterOffset(8, QAccessible::LineBoundary, &start, &end), u("third"));
    QCOMPARE(text->textAtOffset(2, QAccessible::CharBoundary, &start, &end), u("r"));

    // Offsets and places on screen agree both ways.
    const QRect second = text->characterRect(6);
    QVERIFY(second.isValid());
    QCOMPARE(text->offsetAtPoint(second.center() - QPoint(second.width() / 4, 0)), 6);

    QAccessibleEditableTextInterface *editable = accessible->editableTextInterface();
    QVERIFY(editable);
    editable->insertText(0, u("> "));
    editable->replaceText(8, 14, u("2nd"));
    editable->deleteText(13, 14);
    QCOMPARE(box->document()->text(), u("> first\r\n2nd 文\r\nthird"));
    QVERIFY(box->document()->isUndoAvailable());
}

// ---------------------------------------------------------------------------
// Big answers

void TestOutputBox::bigTextsShowWhole_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("a 50 MiB status answer") << u("status");
    QTest::newRow("1.1 million short lines") << u("lines");
    QTest::newRow("one line of 700,000 characters") << u("line");
}

void TestOutputBox::bigTextsShowWhole()
{
    QFETCH(QString, kind);
    QString text;
    if (kind == u"status") {
        // Lines of an object list, 50 MiB of characters.
        const QString line = u("KEY 0123456789ABCDEF0123456789ABCDEF  STORE_OK IN_MEMORY SWAPOUT_DONE PING_NONE "
                               "http://example.com/objects/%1\r\n");
        text.reserve(51 * 1024 * 1024);
        for (int i = 0; text.size() < 50 * 1024 * 1024; ++i)
            text += line.arg(i);
    } else if (kind == u"lines") {
        const QString answer = u("HTTP/1.1 200 OK\r\nServer: squid\r\nMime-Version: 1.0\r\nDate: today\r\n"
                                 "Content-Length: 0\r\nX-Cache: MISS\r\nVia: 1.1 cache\r\nConnection: close\r\n"
                                 "\r\n文件不存在！！\r\n");
        text = answer.repeated(110000);
    } else {
        text = u("文件不存在！！").repeated(100000);
    }
    // How fast is the bench's to say (status_query/50MiB, purge/second/100000,
    // text3_key_after_fresh_purge); here all of it is shown and given back.
    SideBySide boxes;
    QVERIFY(QTest::qWaitForWindowExposed(&boxes.window));
    const QString expected = text;
    boxes.box->document()->setText(std::move(text));
    boxes.box->viewport()->repaint();
    QCOMPARE(boxes.box->document()->lineCount(), int(expected.count(u("\r\n"))) + 1);
    QVERIFY(boxes.box->document()->text() == expected); // QCOMPARE would print megabytes
}

void TestOutputBox::answerAppendedKeepsTheView_data()
{
    QTest::addColumn<bool>("atEnd"); // the view shows the last line
    QTest::newRow("scrolled up: stays") << false;
    QTest::newRow("at the end: follows") << true;
}

void TestOutputBox::answerAppendedKeepsTheView()
{
    QFETCH(bool, atEnd);
    SideBySide boxes;
    QVERIFY(QTest::qWaitForWindowExposed(&boxes.window));
    OutputBox *box = boxes.box;
    box->document()->setText(u("line\r\n").repeated(100));
    box->document()->setSelection(3, 7);
    QScrollBar *bar = box->verticalScrollBar();
    bar->setValue(atEnd ? bar->maximum() : 10);
    box->appendAnswer(u("more\r\n").repeated(50));
    QCOMPARE(box->document()->lineCount(), 151);
    QCOMPARE(bar->value(), atEnd ? bar->maximum() : 10);
    QVERIFY(bar->maximum() > 90);
    QCOMPARE(box->document()->anchorPosition(), 3);
    QCOMPARE(box->document()->cursorPosition(), 7);
}

void TestOutputBox::longLineEdits()
{
    // A key, Backspace and a scroll to the far end of a 700,000-character line;
    // their times are the bench's (text3_key_after_fresh_purge, text3_scroll_to_end).
    SideBySide boxes;
    QVERIFY(QTest::qWaitForWindowExposed(&boxes.window));
    OutputBox *box = boxes.box;
    box->setFocusPolicy(Qt::StrongFocus);
    const QString line = u("文件不存在！！").repeated(100000);
    box->document()->setText(QString(line));
    box->viewport()->repaint();

    box->document()->setCursorPosition(350000);
    QTest::keyClicks(box, u("x"));
    box->viewport()->repaint();
    QVERIFY(box->document()->text() == QString(line).insert(350000, u'x'));
    QTest::keyClick(box, Qt::Key_Backspace);
    box->viewport()->repaint();
    QVERIFY(box->document()->text() == line);
    QCOMPARE(box->document()->cursorPosition(), 350000);
    QScrollBar *bar = box->horizontalScrollBar();
    bar->setValue(bar->maximum());
    box->viewport()->repaint();
    QVERIFY(bar->value() > 0 && bar->value() == bar->maximum());
}

QTEST_MAIN(TestOutputBox)
#include "tst_outputbox.moc"
