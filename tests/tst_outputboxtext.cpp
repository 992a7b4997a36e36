// The output box's text without its widget: the buffer's lines and edits
// against what a QPlainTextEdit holds and a plain string, and the geometry of a
// long line against Qt laying out the whole line.
#include "outputbox/document/linetext.h"
#include "outputbox/document/textbuffer.h"
#include "outputbox/view/lineshaper.h"
#include "outputbox/view/longline.h"
#include "window/boxtext.h"

#include <QPlainTextEdit>
#include <QRandomGenerator>
#include <QTextBlock>
#include <QTextLayout>
#include <QtTest>

#include <memory>

namespace {

QString u(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

// Lines of the reference's document, as the buffer should see them.
QStringList referenceLines(const QString &text)
{
    QPlainTextEdit reference;
    reference.setPlainText(text);
    QStringList lines;
    for (QTextBlock block = reference.document()->begin(); block.isValid(); block = block.next()) {
        // A line separator inside a block shows as a line break; the buffer
        // counts it as one.
        lines += block.text().split(QChar::LineSeparator);
    }
    return lines;
}

} // namespace

class TestOutputBoxText : public QObject
{
    Q_OBJECT

private slots:
    void bufferLines_data();
    void bufferLines();
    void bufferEditsMatchAPlainString_data();
    void bufferEditsMatchAPlainString();
    void bufferTakesTheStringOver_data();
    void bufferTakesTheStringOver();

    void longLineMatchesWholeLayout_data();
    void longLineMatchesWholeLayout();
    void longLineFollowsEdits_data();
    void longLineFollowsEdits();
};

// ---------------------------------------------------------------------------
// Text buffer

void TestOutputBoxText::bufferLines_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << QString();
    QTest::newRow("one line") << u("abc");
    QTest::newRow("CR LF") << u("a\r\nb\r\n\r\nc");
    QTest::newRow("LF") << u("a\nb\n\nc\n");
    QTest::newRow("lone CR") << u("a\rb\r\rc");
    QTest::newRow("CR CR LF") << u("a\r\r\nb");
    QTest::newRow("LF CR") << u("a\n\rb");
    QTest::newRow("trailing CR LF") << u("a\r\nb\r\n");
    QTest::newRow("only breaks") << u("\r\n\n\r");
    QTest::newRow("paragraph separator") << u("a\u2029b");
    QTest::newRow("frame marks") << (u("a") + QChar(0xfdd0) + u("b") + QChar(0xfdd1) + u("c"));
    QTest::newRow("line separator") << u("a\u2028b\r\nc");
    QTest::newRow("other controls stay") << u("a\vb\fc\u0085d");
    QTest::newRow("wide text") << u("文件不存在！！\r\n文件不存在！！");
}

void TestOutputBoxText::bufferLines()
{
    QFETCH(QString, text);
    TextBuffer buffer;
    buffer.setText(QString(text));
    const QStringList expected = referenceLines(text);
    QCOMPARE(buffer.lineCount(), expected.size());
    for (int line = 0; line < buffer.lineCount(); ++line) {
        QCOMPARE(LineText(buffer, line).toString(), expected.at(line));
        QCOMPARE(buffer.lineOfPosition(buffer.lineStart(line)), line);
        QCOMPARE(buffer.lineOfPosition(buffer.lineEnd(line)), line);
    }
    // Read back exactly as BoxText reads the reference.
    QPlainTextEdit reference;
    BoxText::setText(&reference, text);
    QCOMPARE(buffer.crlfText(), BoxText::text(&reference));
    QCOMPARE(buffer.length(), reference.document()->characterCount() - 1);
}

void TestOutputBoxText::bufferEditsMatchAPlainString_data()
{
    QTest::addColumn<quint32>("seed");
    for (quint32 seed : {1u, 2u, 3u, 17u, 4242u})
        QTest::newRow(qPrintable(QStringLiteral("seed %1").arg(seed))) << seed;
}

void TestOutputBoxText::bufferEditsMatchAPlainString()
{
    // Random replacements, each checked against the same edit on a QString with
    // '\n' breaks, then all undone with the pieces each edit gave back.
    QFETCH(quint32, seed);
    QRandomGenerator random(seed);
    const QString alphabet = u("ab\r\n文 \t\u2028");
    const auto randomText = [&](int maxLength) {
        QString text;
        const int size = random.bounded(maxLength + 1);
        for (int i = 0; i < size; ++i)
            text += alphabet.at(random.bounded(int(alphabet.size())));
        return text;
    };
    const auto normalized = [](QString text) {
        text.replace(u("\r\n"), u("\n"));
        text.replace(u'\r', u'\n');
        return text;
    };
    TextBuffer buffer;
    QString initial = randomText(200);
    QString plain = normalized(initial);
    buffer.setText(std::move(initial));

    struct Done
    {
        int position;
        TextBuffer::Pieces removed;
        int insertedLength;
        QString before;
    };
    std::vector<Done> done;
    for (int round = 0; round < 300; ++round) {
        const int from = random.bounded(buffer.length() + 1);
        const int to = from + random.bounded(std::min(12, buffer.length() - from) + 1);
        const QString text = randomText(round % 10 == 0 ? 40 : 3);
        const QString before = plain;
        const TextBuffer::Pieces inserted = buffer.store(text);
        TextBuffer::Pieces removed = buffer.replace(from, to, inserted);
        plain.replace(from, to - from, normalized(text));
        done.push_back({from, std::move(removed), TextBuffer::length(inserted), before});

        QCOMPARE(buffer.text(0, buffer.length()), plain);
        const QStringList lines = plain.split(QRegularExpression(u("[\n\u2028]")));
        QCOMPARE(buffer.lineCount(), lines.size());
        const int line = random.bounded(buffer.lineCount());
        QCOMPARE(LineText(buffer, line).toString(), lines.at(line));
        const int position = random.bounded(buffer.length() + 1);
        QCOMPARE(buffer.lineOfPosition(position),
                 int(plain.left(position).count(u'\n') + plain.left(position).count(QChar(0x2028))));
    }
    while (!done.empty()) {
        const Done &last = done.back();
        buffer.replace(last.position, last.position + last.insertedLength, last.removed);
        QCOMPARE(buffer.text(0, buffer.length()), last.before);
        done.pop_back();
    }
}

void TestOutputBoxText::bufferTakesTheStringOver_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("LF") << u("one\ntwo\nthree");
    QTest::newRow("CR LF, rewritten in place") << u("one\r\ntwo\r\nthree");
}

void TestOutputBoxText::bufferTakesTheStringOver()
{
    // The answer is not copied: the buffer's first line is the string's own
    // storage.
    QFETCH(QString, text);
    text.detach();
    const QChar *storage = text.constData();
    TextBuffer buffer;
    buffer.setText(std::move(text));
    QCOMPARE(buffer.chunk(0, buffer.length()).constData(), storage);
    QCOMPARE(LineText(buffer, 2).toString(), u("three"));
}

// ---------------------------------------------------------------------------
// Long lines

void TestOutputBoxText::longLineMatchesWholeLayout_data()
{
    QTest::addColumn<QString>("line");
    const QString kerned = u("AVAVA To Wa LT yY fi ffl r. P, -- éé ok ");
    QTest::newRow("kerned Latin") << kerned.repeated(300);
    QTest::newRow("wide text") << u("文件不存在！！").repeated(1200);
    QTest::newRow("wide and Latin") << u("文件不存在！！abc").repeated(700);
    QTest::newRow("tabs") << u("ab\tcdef\t\tAV To\t").repeated(700);
    QTest::newRow("trailing blanks") << (u("AV To ").repeated(900) + u("   \t "));
    QTest::newRow("no-break space at the end") << (u("AV To ").repeated(900) + QChar(0xa0));
    QTest::newRow("accents and surrogates") << u("e\u0301a\u0300 😀x ").repeated(900);
    QTest::newRow("accent on a run limit") << (u("x").repeated(4095) + u("e\u0301AV").repeated(100));
}

void TestOutputBoxText::longLineMatchesWholeLayout()
{
    // Every position of the table is where Qt puts it laying out the whole line.
    QFETCH(QString, line);
    QVERIFY(line.size() >= LongLine::kMinLength);
    QWidget device;
    LineShaper shaper;
    shaper.setFont(device.font(), &device);
    TextBuffer buffer;
    buffer.setText(QString(line));
    const LineText text(buffer, 0);
    LongLine wide;
    wide.build(text, shaper);
    const std::unique_ptr<QTextLayout> whole = shaper.layout(line);
    const QTextLine reference = whole->lineAt(0);

    QCOMPARE(wide.height(), reference.height());
    QCOMPARE(wide.base(), reference.ascent() + std::max<qreal>(0, reference.leading()));
    QCOMPARE(wide.naturalWidth(), reference.naturalTextWidth());
    for (int column = 0; column <= line.size(); column += column < 200 ? 1 : 37) {
        QCOMPARE(wide.cursorToX(text, column, shaper), reference.cursorToX(column));
        const qreal x = reference.cursorToX(column) + 0.3;
        QCOMPARE(wide.xToCursor(text, x, shaper), reference.xToCursor(x));
    }
    QCOMPARE(wide.cursorToX(text, int(line.size()), shaper), reference.cursorToX(int(line.size())));
}

void TestOutputBoxText::longLineFollowsEdits_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<quint32>("seed");
    QTest::newRow("wide text") << u("文件不存在！！").repeated(1300) << 1u;
    QTest::newRow("kerned Latin and tabs") << u("AVAVA To Wa\tLT yY fi ffl r. ").repeated(330) << 2u;
    QTest::newRow("digits before the first letter") << (u("12, 34. ").repeated(600) + u("文件ab").repeated(500)) << 3u;
    QTest::newRow("scripts and surrogates") << u("ab 文件 жд e\u0301 😀1 ").repeated(500) << 4u;
}

void TestOutputBoxText::longLineFollowsEdits()
{
    // An edit updates a long line's table in place; after each one it must be
    // the table a fresh build of the edited line gives. The line is read from
    // the buffer, in the pieces the edits leave it in.
    QFETCH(QString, line);
    QFETCH(quint32, seed);
    QRandomGenerator random(seed);
    QWidget device;
    LineShaper shaper;
    shaper.setFont(device.font(), &device);
    TextBuffer buffer;
    buffer.setText(QString(line));
    LongLine wide;
    wide.build(LineText(buffer, 0), shaper);
    // Single UTF-16 units, so halves of the emoji pair up or stand alone.
    const QString alphabet = u("aV 文！\t\u0301ж1😀x");
    int caret = buffer.length() / 2;
    for (int round = 0; round < 150; ++round) {
        const int length = buffer.length();
        const int pick = random.bounded(10);
        const int from = pick == 0 ? 0 : pick == 1 ? length : pick < 5 ? caret : random.bounded(length + 1);
        const int to = from + random.bounded(std::min(pick < 5 ? 1 : 4, length - from) + 1);
        QString text;
        for (int i = random.bounded(pick < 5 ? 2 : 4); i > 0; --i)
            text += alphabet.at(random.bounded(int(alphabet.size())));
        buffer.replace(from, to, buffer.store(text));
        caret = from + int(text.size());
        wide.replace(LineText(buffer, 0), from, to - from, int(text.size()), shaper);
        LongLine fresh;
        const LineText edited(buffer, 0);
        fresh.build(edited, shaper);
        QVERIFY2(wide.naturalWidth() == fresh.naturalWidth() && wide.height() == fresh.height()
                         && wide.base() == fresh.base(),
                 qPrintable(QStringLiteral("edit %1: the line's size").arg(round)));
        // Every column near the edit, and a sample of the rest.
        for (int column = 0; column <= edited.size(); column += std::abs(column - from) < 40 ? 1 : 97) {
            QVERIFY2(wide.cursorToX(edited, column, shaper) == fresh.cursorToX(edited, column, shaper),
                     qPrintable(QStringLiteral("edit %1: [%2, %3) became \"%4\", column %5")
                                        .arg(round)
                                        .arg(from)
                                        .arg(to)
                                        .arg(text)
                                        .arg(column)));
        }
    }
}

QTEST_MAIN(TestOutputBoxText)

#include "tst_outputboxtext.moc"
