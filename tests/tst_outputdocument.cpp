// The output box's document without a widget: edits, caret moves, input-method
// commits and undo, checked against what QPlainTextEdit does (the expected rows)
// and against a plain QString (the random edits).

#include "outputbox/document/outputdocument.h"

#include "stepscript.h"

#include <QRandomGenerator>
#include <QtTest>

namespace {

QString u(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

// Plays a step script on a document. "type:", "paste:" and
// "enter" put text in; "bs", "del", "wbs", "wdel", "eol", "kill" erase; "at:N"
// and "sel:A:C" place the caret; "left", "right", "wleft", "wright", "home",
// "end", "top", "bottom" move it ("S+" in front selects); "undo", "redo";
// "commit:TEXT:START:LENGTH" is an input method's; "drop:POS:TEXT:MOVE" a drop.
void play(OutputDocument &document, const QString &script)
{
    using Move = OutputDocument::Move;
    static const QHash<QString, Move> moves = {
            {u("left"), Move::PreviousCharacter}, {u("right"), Move::NextCharacter}, {u("wleft"), Move::PreviousWord},
            {u("wright"), Move::NextWord},        {u("home"), Move::LineStart},      {u("end"), Move::LineEnd},
            {u("top"), Move::DocumentStart},      {u("bottom"), Move::DocumentEnd},
    };
    for (const StepScript::Step &step : StepScript::parse(script)) {
        const QStringList parts = step.text.split(u':');
        const QString &verb = step.verb;
        if (verb == u"type") {
            document.type(step.value);
        } else if (verb == u"paste") {
            document.paste(step.value);
        } else if (verb == u"enter") {
            document.insert(u"\n");
        } else if (verb == u"bs" || verb == u"del" || verb == u"wbs" || verb == u"wdel") {
            const auto unit
                    = verb.startsWith(u'w') ? OutputDocument::EraseUnit::Word : OutputDocument::EraseUnit::Character;
            if (verb.endsWith(u"del"))
                document.eraseForward(unit);
            else
                document.eraseBackward(unit);
        } else if (verb == u"eol") {
            document.eraseToLineEnd();
        } else if (verb == u"kill") {
            document.eraseLine();
        } else if (verb == u"at") {
            document.setCursorPosition(parts.at(1).toInt());
        } else if (verb == u"sel") {
            document.setSelection(parts.at(1).toInt(), parts.at(2).toInt());
        } else if (verb == u"undo") {
            document.undo();
        } else if (verb == u"redo") {
            document.redo();
        } else if (verb == u"commit") {
            document.commitInput(parts.at(1), parts.at(2).toInt(), parts.at(3).toInt(),
                                 OutputDocument::Composing::Ended);
        } else if (verb == u"drop") {
            document.drop(parts.at(1).toInt(), parts.at(2),
                          parts.at(3) == u"move" ? OutputDocument::DropKind::MoveSelection
                                                 : OutputDocument::DropKind::Copy);
        } else {
            const bool select = step.text.startsWith(u"S+");
            const QString name = select ? step.text.mid(2) : step.text;
            QVERIFY2(moves.contains(name), qPrintable(step.text));
            document.move(moves.value(name),
                          select ? OutputDocument::MoveMode::KeepAnchor : OutputDocument::MoveMode::MoveAnchor);
        }
    }
}

QString contents(const OutputDocument &document)
{
    return document.textRange(0, document.length());
}

} // namespace

class TestOutputDocument : public QObject
{
    Q_OBJECT

private slots:
    void edits_data();
    void edits();
    void undoSteps_data();
    void undoSteps();
    void randomEditsMatchAPlainString();
    void signalsFollowEveryChange();
};

void TestOutputDocument::edits_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>(
            "expected"); // '\n' between lines, '[' the anchor and ']' the caret when they differ, '|' the caret

    // Typing, erasing, line ends.
    QTest::newRow("type over a selection") << u("hello world") << u("sel:0:5|type:bye") << u("bye| world");
    QTest::newRow("backspace joins lines") << u("ab\r\ncd") << u("at:3|bs") << u("ab|cd");
    QTest::newRow("delete at a line end joins lines") << u("ab\r\ncd") << u("at:2|del") << u("ab|cd");
    QTest::newRow("backspace takes an accent off its letter") << u("e\u0301x") << u("at:2|bs") << u("e|x");
    QTest::newRow("delete takes the whole letter") << u("e\u0301x") << u("at:0|del") << u("|x");
    QTest::newRow("backspace takes a whole emoji") << u("a😀b") << u("at:3|bs") << u("a|b");
    QTest::newRow("backspace at the start does nothing") << u("ab") << u("at:0|bs") << u("|ab");
    QTest::newRow("word erase back stops at punctuation")
            << u("http://host/path") << u("bottom|wbs|wbs") << u("http://host|");
    QTest::newRow("word erase forward") << u("one two three") << u("at:4|wdel") << u("one |three");
    QTest::newRow("erase to line end from the anchor") << u("abc def\r\nx") << u("sel:1:4|eol") << u("a|\nx");
    QTest::newRow("erase a whole line") << u("abc\r\ndef") << u("at:5|kill") << u("abc\n|");
    QTest::newRow("paste turns CR LF, LF and CR into line breaks")
            << u("ab") << u("at:1|paste:1\r\n2\n3\r4") << u("a1\n2\n3\n4|b");
    QTest::newRow("paste of nothing keeps the selection") << u("abc") << u("sel:0:2|paste:") << u("[ab]c");
    QTest::newRow("enter") << u("ab") << u("at:1|enter") << u("a\n|b");

    // Moves by character and word, across line breaks, with and without Shift.
    QTest::newRow("right leaves a selection at its end") << u("abcdef") << u("sel:4:1|right") << u("abcd|ef");
    QTest::newRow("left leaves a selection at its start") << u("abcdef") << u("sel:1:4|left") << u("a|bcdef");
    QTest::newRow("shift+right grows it") << u("abcdef") << u("sel:1:4|S+right") << u("a[bcde]f");
    QTest::newRow("right over a surrogate pair") << u("a😀b") << u("at:1|right") << u("a😀|b");
    QTest::newRow("word right stops at URL parts")
            << u("http://host.example/a?b=c") << u("top|wright|wright|wright") << u("http://host|.example/a?b=c");
    QTest::newRow("word right at a line end goes over the break") << u("ab\r\ncd") << u("at:2|wright") << u("ab\n|cd");
    QTest::newRow("word left at a line start goes over the break") << u("ab\r\ncd") << u("at:3|wleft") << u("ab|\ncd");
    QTest::newRow("home and end stay in the line") << u("ab\r\ncd\r\nef") << u("at:4|S+end|home") << u("ab\n|cd\nef");

    // Input methods.
    QTest::newRow("commit types") << u("ab") << u("at:1|commit:文件:0:0") << u("a文件|b");
    QTest::newRow("commit replaces before the caret") << u("teh x") << u("at:3|commit:then:-3:3") << u("then| x");
    QTest::newRow("caret stays with its text after a replacement")
            << u("abcdef") << u("at:5|commit:XY:-4:2") << u("aXYde|f");
    QTest::newRow("commit over a selection") << u("abcd") << u("sel:1:3|commit:x:0:0") << u("ax|d");

    // Drops.
    QTest::newRow("drop moves text back") << u("abcdef") << u("sel:0:2|drop:4:ab:move") << u("cdab|ef");
    QTest::newRow("drop moves text forward") << u("abcdef") << u("sel:4:6|drop:0:ef:move") << u("ef|abcd");
    QTest::newRow("drop copies text") << u("abcdef") << u("sel:0:2|drop:4:ab:copy") << u("abcdab|ef");
}

void TestOutputDocument::edits()
{
    QFETCH(QString, text);
    QFETCH(QString, script);
    QFETCH(QString, expected);
    OutputDocument document;
    document.setText(QString(text));
    play(document, script);
    QString shown = contents(document);
    const int anchor = document.anchorPosition();
    const int cursor = document.cursorPosition();
    if (anchor == cursor) {
        shown.insert(cursor, u'|');
    } else {
        shown.insert(std::max(anchor, cursor), anchor > cursor ? u'[' : u']');
        shown.insert(std::min(anchor, cursor), anchor < cursor ? u'[' : u']');
    }
    QCOMPARE(shown, expected);
}

void TestOutputDocument::undoSteps_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("script");
    QTest::addColumn<QStringList>("states"); // after each undo until none is left

    QTest::newRow("typing is one step") << u("x") << u("at:1|type:a|type:b|type:c") << QStringList{u("x")};
    QTest::newRow("a caret move ends it") << u("") << u("type:a|type:b|left|type:c") << QStringList{u("ab"), u("")};
    QTest::newRow("a line break is a step of its own")
            << u("") << u("type:a|enter|type:b") << QStringList{u("a\n"), u("a"), u("")};
    QTest::newRow("backspaces are one step") << u("hello") << u("bottom|bs|bs|bs") << QStringList{u("hello")};
    QTest::newRow("typing after backspace is another")
            << u("hello") << u("bottom|bs|bs|type:p") << QStringList{u("hel"), u("hello")};
    QTest::newRow("typing after backspace in typed text is another")
            << u("") << u("type:abc|end|bs|type:x") << QStringList{u("ab"), u("abc"), u("")};
    QTest::newRow("word erasing is one step each")
            << u("a b c") << u("bottom|wbs|wbs") << QStringList{u("a b "), u("a b c")};
    QTest::newRow("input method commits are steps of their own")
            << u("") << u("type:a|commit:b:0:0|commit:c:0:0") << QStringList{u("ab"), u("a"), u("")};
    QTest::newRow("a moved text goes back in one step")
            << u("abcdef") << u("sel:0:2|drop:6:ab:move") << QStringList{u("abcdef")};
    QTest::newRow("typing joins a paste") << u("") << u("type:a|paste:b|type:c") << QStringList{u("a"), u("")};
}

void TestOutputDocument::undoSteps()
{
    QFETCH(QString, text);
    QFETCH(QString, script);
    QFETCH(QStringList, states);
    OutputDocument document;
    document.setText(QString(text));
    play(document, script);
    const QString edited = contents(document);
    for (const QString &state : states) {
        QVERIFY(document.isUndoAvailable());
        document.undo();
        QCOMPARE(contents(document), state);
    }
    QVERIFY(!document.isUndoAvailable());
    while (document.isRedoAvailable())
        document.redo();
    QCOMPARE(contents(document), edited);
    document.setText(u("new"));
    QVERIFY(!document.isUndoAvailable());
}

void TestOutputDocument::randomEditsMatchAPlainString()
{
    // Replacements anywhere, then undone one by one back to the start and
    // redone to the end, each state compared with the plain string's.
    QRandomGenerator random(17);
    for (int round = 0; round < 20; ++round) {
        QString model = u("first line\nsecond\n\nlast line without end");
        OutputDocument document;
        document.setText(u("first line\r\nsecond\r\n\r\nlast line without end"));
        QStringList states{model};
        for (int i = 0; i < 30; ++i) {
            const int from = random.bounded(int(model.size()) + 1);
            const int to = from + random.bounded(int(model.size()) - from + 1);
            static const QString pieces[] = {u(""), u("x"), u("\n"), u("ab\ncd"), u("文件\n\n")};
            const QString &with = pieces[random.bounded(5)];
            if (from == to && with.isEmpty())
                continue;
            document.replaceRange(from, to, with);
            model.replace(from, to - from, with);
            QCOMPARE(contents(document), model);
            QCOMPARE(document.lineCount(), model.count(u'\n') + 1);
            QCOMPARE(document.cursorPosition(), from + int(with.size()));
            states += model;
        }
        for (qsizetype at = states.size() - 2; at >= 0; --at) {
            document.undo();
            QCOMPARE(contents(document), states.at(at));
        }
        QVERIFY(!document.isUndoAvailable());
        for (qsizetype at = 1; at < states.size(); ++at) {
            document.redo();
            QCOMPARE(contents(document), states.at(at));
        }
        QCOMPARE(document.text(), QString(model).replace(u'\n', u("\r\n")));
    }
}

void TestOutputDocument::signalsFollowEveryChange()
{
    // A view keeps its laid-out lines by these signals: every change says
    // which lines it replaced, and the caret signal follows.
    OutputDocument document;
    QStringList lines;
    connect(&document, &OutputDocument::textReset, [&] { lines = contents(document).split(u'\n'); });
    connect(&document, &OutputDocument::textReplaced, [&](const OutputDocument::Change &change) {
        QStringList added = contents(document).split(u'\n').mid(change.firstLine, change.addedLines);
        for (int i = 0; i < change.removedLines; ++i)
            lines.removeAt(change.firstLine);
        for (qsizetype i = 0; i < added.size(); ++i)
            lines.insert(change.firstLine + i, added.at(i));
    });
    int caretMoves = 0;
    connect(&document, &OutputDocument::caretMoved, [&] { ++caretMoves; });
    document.setText(u("a\r\nb\r\nc"));
    play(document, u("at:2|type:x|enter|enter|sel:1:5|del|undo|undo|redo|bottom|paste:1\n2"));
    QCOMPARE(lines, contents(document).split(u'\n'));
    QCOMPARE(caretMoves, 11);
}

QTEST_GUILESS_MAIN(TestOutputDocument)

#include "tst_outputdocument.moc"
