// The output box against the QPlainTextEdit it replaces, step by step: the same
// keys, mouse, input-method events, drops and pastes on both, and after every
// step the same text, caret, selection, undo state, scroll bars, clipboard and
// pixels. Rows are sequences where the two have parted; seeded random sequences
// look for new ones. QUELLORY_DIFF_SEEDS=N (from QUELLORY_DIFF_FIRST, default
// 1000) plays N more random sequences and prints every difference with the
// shortest step list that still shows it, ready to paste as a row.
#include "sidebyside.h"

#include <QApplication>
#include <QClipboard>
#include <QPainter>
#include <QRandomGenerator>
#include <QStyleHints>
#include <QtTest>

namespace {

QString u(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

// Lines of different heights (the Chinese ones fall back to a taller font), and
// one line wider than the box.
QString manyLines()
{
    QString text;
    for (int i = 0; i < 60; ++i)
        text += (i % 3 == 1 ? u("文件不存在！！ line %1 %2\r\n") : u("line %1 of the answer %2\r\n"))
                        .arg(i)
                        .arg(QString(i % 7 == 3 ? 150 : i % 5, u'x'));
    return text;
}

QString wordLine()
{
    QString text;
    for (int i = 0; i < 200; ++i)
        text += QStringLiteral("word%1 ").arg(i);
    return text;
}

// The first thing two states disagree on, as "what: got ..., expected ...".
QString difference(const BoxState &got, const BoxState &expected)
{
    const auto differs = [](const char *what, const auto &a, const auto &b) {
        return QStringLiteral("%1: got %2, expected %3").arg(QLatin1String(what)).arg(a).arg(b);
    };
    if (got.text != expected.text)
        return differs("text", got.text, expected.text);
    if (got.position != expected.position || got.anchor != expected.anchor)
        return differs("selection", QStringLiteral("%1..%2").arg(got.anchor).arg(got.position),
                       QStringLiteral("%1..%2").arg(expected.anchor).arg(expected.position));
    if (got.undo != expected.undo || got.redo != expected.redo)
        return differs("undo/redo", QStringLiteral("%1/%2").arg(got.undo).arg(got.redo),
                       QStringLiteral("%1/%2").arg(expected.undo).arg(expected.redo));
    const char *bars[2][2] = {{"horizontal scroll", "horizontal range"}, {"vertical scroll", "vertical range"}};
    for (int bar : {1, 0}) {
        for (int i : {1, 0}) {
            // Kept on purpose: the box's range follows a widest line that got
            // shorter, where the reference's only grows.
            const bool narrower = bar == 0 && i == 1 && got.values[0][1] < expected.values[0][1];
            if (got.values[bar][i] != expected.values[bar][i] && !narrower)
                return differs(bars[bar][i], got.values[bar][i], expected.values[bar][i]);
        }
    }
    if (got.clipboard != expected.clipboard)
        return differs("clipboard", got.clipboard, expected.clipboard);
    if (got.note != expected.note)
        return differs("event", got.note, expected.note);
    // The reference shows its caret (and the composing one) after a key even
    // without the focus, which the box never has to: the carets' places are
    // compared above, not drawn.
    QImage gotPixels = got.pixels;
    QImage expectedPixels = expected.pixels;
    for (QImage *image : {&gotPixels, &expectedPixels}) {
        QPainter painter(image);
        painter.fillRect(expected.caret.adjusted(-2, 0, 2, 0) | got.caret.adjusted(-2, 0, 2, 0), Qt::black);
        painter.fillRect(got.composingCaret.adjusted(-2, 0, 2, 0), Qt::black);
    }
    if (gotPixels != expectedPixels) {
        if (qEnvironmentVariableIsSet("QUELLORY_DIFF_IMAGES")) {
            got.pixels.save(QStringLiteral("/tmp/diff-box.png"));
            expected.pixels.save(QStringLiteral("/tmp/diff-reference.png"));
        }
        return u("pixels: differ");
    }
    return QString();
}

struct Outcome
{
    int step = -1; // the step after which they first differ, -1 for none
    QString difference;
    QString kind() const { return difference.section(u':', 0, 0); }
};

Outcome run(const QString &text, const QStringList &steps)
{
    SideBySide boxes;
    boxes.setText(text);
    const std::array<BoxSide, 2> sides = boxes.sides();
    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->setText(u("clip"));
    for (int i = 0; i < steps.size(); ++i) {
        // Both start from the clipboard as it was before the step.
        const QString before = clipboard->text();
        const StepScript::Step step = StepScript::step(steps.at(i));
        const BoxState expected = play(sides[0], step);
        if (clipboard->text() != before)
            clipboard->setText(before);
        const BoxState got = play(sides[1], step);
        const QString differs = difference(got, expected);
        if (!differs.isEmpty())
            return {i, differs};
        if (got.clipboard != expected.clipboard)
            clipboard->setText(expected.clipboard);
    }
    return {};
}

// A row's script as it would be written: C escapes for line breaks and tabs.
QString recipe(const QString &text, const QStringList &steps)
{
    QString out = u("text \"") + text + u("\", steps \"") + steps.join(u'|') + u'"';
    return out.replace(u'\r', u("\\r")).replace(u'\n', u("\\n")).replace(u'\t', u("\\t"));
}

// The fewest steps that still end in the same kind of difference.
QStringList shortest(const QString &text, QStringList steps, const Outcome &outcome)
{
    steps = steps.mid(0, outcome.step + 1);
    for (qsizetype i = 0; i < steps.size() - 1;) {
        QStringList fewer = steps;
        fewer.removeAt(i);
        const Outcome tried = run(text, fewer);
        if (tried.kind() == outcome.kind())
            steps = fewer.mid(0, tried.step + 1);
        else
            ++i;
    }
    return steps;
}

// A random sequence over a random start: the keys, clicks and input-method
// events an operator uses, at points inside and just outside the viewport.
QStringList randomSteps(quint32 seed, QString *text)
{
    QRandomGenerator random(seed);
    const QString texts[] = {QString(), u("abc def\r\nghi 文件 jkl\r\n\r\nmno.pqr-stu"), wordLine(), manyLines()};
    *text = texts[random.bounded(4)];
    const auto pick = [&random](const QStringList &from) { return from.at(random.bounded(int(from.size()))); };
    const auto some = [&](const QString &alphabet, int most) {
        QString out;
        for (int n = 1 + random.bounded(most); n > 0; --n)
            out += alphabet.at(random.bounded(int(alphabet.size())));
        return out;
    };
    const auto point
            = [&] { return QStringLiteral("%1,%2").arg(random.bounded(-20, 940)).arg(random.bounded(-10, 330)); };
    const QStringList keys = u("Left Right Up Down Home End PgUp PgDown Ctrl+Left Ctrl+Right Ctrl+Home Ctrl+End "
                               "Backspace Del Ctrl+Backspace Ctrl+Del Return Ctrl+A Ctrl+C Ctrl+X Ctrl+V Ctrl+Z "
                               "Ctrl+Y Ctrl+Shift+Z Shift+Left Shift+Right Shift+Up Shift+Down Shift+Home "
                               "Shift+End Shift+PgUp Shift+PgDown Ctrl+Shift+Left Ctrl+Shift+Right "
                               "Ctrl+Shift+Home Ctrl+Shift+End Alt+Tab Shift+Backspace")
                                     .split(u' ');
    QStringList steps;
    for (int n = 20 + random.bounded(30); n > 0; --n) {
        const int kind = random.bounded(100);
        if (kind < 45)
            steps += u("key:") + pick(keys);
        else if (kind < 60)
            steps += u("type:") + some(u("ab c文件 .-x"), 3);
        else if (kind < 64)
            steps += u("pre:") + some(u("wenjian"), 4);
        else if (kind < 68)
            steps += u("com:") + some(u("文件存在"), 2);
        else if (kind < 70)
            steps += QStringLiteral("com:%1@%2,%3")
                             .arg(some(u("X文"), 2))
                             .arg(random.bounded(-3, 2))
                             .arg(random.bounded(3));
        else if (kind < 74)
            steps += u("paste:") + pick({u("d"), u("x\r\ny"), u("文件\n"), u("ab cd")});
        else if (kind < 90)
            steps += pick({u("click:"), u("shift:"), u("double:"), u("triple:")}) + point();
        else if (kind < 92)
            steps += u("click:caret");
        else {
            // A press inside a selection would start dragging it away, which a
            // test cannot end: drags start from a click that leaves none.
            const QString from = point();
            steps += u("click:") + from;
            steps += pick({u("drag:"), u("ddrag:"), u("tdrag:")}) + from + u',' + point();
        }
    }
    return steps;
}

// Random sequences that part today, with the first difference each meets.
const QMap<quint32, const char *> kKnownSeeds = {
        {3, "pixels: a preedit drawn differently"},  {4, "selection: a triple click beside a preedit"},
        {5, "pixels: a preedit drawn differently"},  {8, "pixels: a preedit drawn differently"},
        {9, "pixels: a preedit drawn differently"},  {11, "pixels: a preedit drawn differently"},
        {13, "pixels: a preedit drawn differently"}, {15, "selection: a caret placed beside a preedit"},
        {17, "pixels: a preedit drawn differently"}, {20, "horizontal scroll: the preedit does not widen its line"},
        {22, "pixels: a preedit drawn differently"},
};

} // namespace

// Passes when the boxes agree; a known difference ("kind: how") is an expected
// failure, so that mending it turns into an unexpected pass to clear the mark,
// and any other difference fails.
void verdict(const Outcome &outcome, const QString &known, const QString &message)
{
    if (!known.isEmpty()) {
        QVERIFY2(outcome.step < 0 || known.startsWith(outcome.kind() + u':'), qPrintable(message));
        QEXPECT_FAIL("", qPrintable(known), Continue);
    }
    QVERIFY2(outcome.step < 0, qPrintable(message));
}

class TestOutputBoxDiff : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void sequences_data();
    void sequences();
    void randomSequences_data();
    void randomSequences();
    void moreRandomSequences();
};

void TestOutputBoxDiff::initTestCase()
{
    // A caret that does not blink and a triple click that never times out: what
    // a step does never depends on how long the one before it took.
    QApplication::setCursorFlashTime(0);
    QGuiApplication::styleHints()->setMouseDoubleClickInterval(1 << 30);
}

void TestOutputBoxDiff::sequences_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("known"); // how the box parts today, until it is mended

    const QString lines = manyLines();
    const QString longLine = QString(200, u'x') + u("\r\nab");
    QTest::newRow("select all keeps the view") << lines << u("key:Ctrl+A") << QString();
    QTest::newRow("word moves centre the caret sideways")
            << wordLine() << u("key:Ctrl+Right|").repeated(30) << QString();
    QTest::newRow("down to a short line") << longLine << u("key:End|key:Down") << QString();
    QTest::newRow("up on the first line scrolls back") << longLine << u("hbar:300|key:Up") << QString();
    QTest::newRow("undo after deleting a selection") << u("abc") << u("key:Ctrl+A|key:Del|key:Ctrl+Z") << QString();
    QTest::newRow("undo after typing over a selection") << u("abc") << u("key:Ctrl+A|type:x|key:Ctrl+Z") << QString();
    QTest::newRow("two commits are two steps") << QString() << u("com:文|com:件|key:Ctrl+Z") << QString();
    QTest::newRow("a caret move that comes back keeps the step")
            << QString() << u("type:ab|key:Left|key:Right|type:c|key:Ctrl+Z") << QString();
    QTest::newRow("typing after a paste") << QString() << u("paste:d|type:r|key:Ctrl+Z") << QString();
    QTest::newRow("undo a run of Delete") << u("abc") << u("sel:3,3|key:Home|key:Del|key:Del|key:Ctrl+Z") << QString();
    QTest::newRow("click while composing") << u("abc def") << u("pre:wen|click:60,8") << QString();
    QTest::newRow("typing while composing") << u("abc") << u("pre:n|type:r") << QString();
    QTest::newRow("paste while composing") << QString() << u("pre:n|paste:文件\n") << QString();
    QTest::newRow("commit with a selection") << u("h") << u("sel:0,1|com:1@0,1") << QString();
    QTest::newRow("replacement partly outside the text") << u("abc") << u("sel:3,3|com:X@-1,3") << QString();
    QTest::newRow("replacement over the caret") << u("abc") << u("sel:2,2|com:XYZ@-1,2") << QString();
    QTest::newRow("double click, drag past the text") << u("ab cd") << u("ddrag:5,8,800,8") << QString();
    QTest::newRow("double click on nothing, drag") << u("ab\r\n\r\ncd") << u("ddrag:30,25,8,8") << QString();
    QTest::newRow("triple click, drag") << u("ab cd\r\nef gh\r\nij") << u("tdrag:5,8,10,25") << QString();
    QTest::newRow("double click, Shift+click") << u("ab cd ef") << u("double:5,8|shift:30,8") << QString();
    QTest::newRow("press at the end of the selection") << u("abc def") << u("sel:0,3|press:caret") << QString();
    QTest::newRow("press just past the selection's end edge, drag to the line's end")
            << u("abc def") << u("sel:0,3|drag:26,8,800,8") << QString();
    QTest::newRow("page up on the first line") << u("abc\r\ndef") << u("sel:0,1|key:PgUp") << QString();
    QTest::newRow("page down on the last line") << u("abc\r\ndef") << u("sel:7,6|key:PgDown") << QString();
    QTest::newRow("page up beside a combining mark") << u("e\u0301x") << u("sel:1,1|key:PgUp") << QString();
    QTest::newRow("Alt+Tab types a tab") << u("ab") << u("key:Alt+Tab") << QString();
    // Not seen to part here yet; kept as a guard.
    QTest::newRow("click on the partly shown last line") << lines << u("click:10,310|click:10,310") << QString();
    // A double click or a drag leaves the view where the press put it.
    QTest::newRow("double click below the view") << lines << u("double:56,326") << QString();
    QTest::newRow("drag into the partly shown last line") << lines << u("drag:139,291,587,309") << QString();
    QTest::newRow("dropping nothing") << u("abc") << u("drop:20,8,") << QString();
}

void TestOutputBoxDiff::sequences()
{
    QFETCH(QString, text);
    QFETCH(QString, steps);
    QFETCH(QString, known);
    const QStringList list = steps.split(u'|', Qt::SkipEmptyParts);
    const Outcome outcome = run(text, list);
    verdict(outcome, known, outcome.difference + u(" after ") + recipe(text, list.mid(0, outcome.step + 1)));
}

void TestOutputBoxDiff::randomSequences_data()
{
    QTest::addColumn<quint32>("seed");
    for (quint32 seed = 1; seed <= 24; ++seed)
        QTest::newRow(qPrintable(QStringLiteral("seed %1").arg(seed))) << seed;
}

void TestOutputBoxDiff::randomSequences()
{
    QFETCH(quint32, seed);
    QString text;
    const QStringList steps = randomSteps(seed, &text);
    const Outcome outcome = run(text, steps);
    QString message;
    if (outcome.step >= 0) {
        message = QStringLiteral("seed %1: %2 after %3")
                          .arg(seed)
                          .arg(outcome.difference, recipe(text, shortest(text, steps, outcome)));
    }
    verdict(outcome, QString::fromUtf8(kKnownSeeds.value(seed)), message);
}

void TestOutputBoxDiff::moreRandomSequences()
{
    const int count = qEnvironmentVariableIntValue("QUELLORY_DIFF_SEEDS");
    if (count <= 0)
        QSKIP("QUELLORY_DIFF_SEEDS=N plays N more random sequences");
    bool numbered = false;
    int first = qEnvironmentVariableIntValue("QUELLORY_DIFF_FIRST", &numbered);
    first = numbered ? first : 1000;
    int parted = 0;
    for (quint32 seed = quint32(first); seed < quint32(first + count); ++seed) {
        QString text;
        const QStringList steps = randomSteps(seed, &text);
        const Outcome outcome = run(text, steps);
        if (outcome.step < 0)
            continue;
        ++parted;
        const QStringList few = shortest(text, steps, outcome);
        const Outcome last = run(text, few);
        qInfo().noquote() << QStringLiteral("seed %1 | %2 | %3 | %4")
                                     .arg(seed)
                                     .arg(last.kind(), few.last().section(u':', 0, 0), last.difference)
                          << "|" << recipe(text.size() > 100 ? u("<long>") : text, few);
    }
    qInfo("%d of %d sequences parted", parted, count);
}

QTEST_MAIN(TestOutputBoxDiff)
#include "tst_outputboxdiff.moc"
