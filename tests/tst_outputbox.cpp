// The output box (Text3): its text buffer and its long-line geometry. A
// QPlainTextEdit is the reference wherever the two can be compared.
#include "window/boxtext.h"
#include "window/lineshaper.h"
#include "window/textbuffer.h"
#include "window/wideline.h"

#include <QPlainTextEdit>
#include <QRandomGenerator>
#include <QRegularExpression>
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

class TestOutputBox : public QObject
{
    Q_OBJECT

private slots:
    void bufferLines_data();
    void bufferLines();
    void bufferEditsMatchAPlainString_data();
    void bufferEditsMatchAPlainString();
    void bufferTakesTheStringOver_data();
    void bufferTakesTheStringOver();

    void wideLineMatchesWholeLayout_data();
    void wideLineMatchesWholeLayout();
};

// ---------------------------------------------------------------------------
// Text buffer

void TestOutputBox::bufferLines_data()
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

void TestOutputBox::bufferLines()
{
    QFETCH(QString, text);
    TextBuffer buffer;
    buffer.setText(QString(text));
    const QStringList expected = referenceLines(text);
    QCOMPARE(buffer.lineCount(), expected.size());
    for (int line = 0; line < buffer.lineCount(); ++line) {
        QCOMPARE(buffer.lineText(line), expected.at(line));
        QCOMPARE(buffer.lineOfPosition(buffer.lineStart(line)), line);
        QCOMPARE(buffer.lineOfPosition(buffer.lineEnd(line)), line);
    }
    // Read back exactly as BoxText reads the reference.
    QPlainTextEdit reference;
    BoxText::setText(&reference, text);
    QCOMPARE(buffer.crlfText(), BoxText::text(&reference));
    QCOMPARE(buffer.length(), reference.document()->characterCount() - 1);
}

void TestOutputBox::bufferEditsMatchAPlainString_data()
{
    QTest::addColumn<quint32>("seed");
    for (quint32 seed : {1u, 2u, 3u, 17u, 4242u})
        QTest::newRow(qPrintable(QStringLiteral("seed %1").arg(seed))) << seed;
}

void TestOutputBox::bufferEditsMatchAPlainString()
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
        QCOMPARE(buffer.lineText(line), lines.at(line));
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

void TestOutputBox::bufferTakesTheStringOver_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("LF") << u("one\ntwo\nthree");
    QTest::newRow("CR LF, rewritten in place") << u("one\r\ntwo\r\nthree");
}

void TestOutputBox::bufferTakesTheStringOver()
{
    // The answer is not copied: the buffer's first line is the string's own
    // storage.
    QFETCH(QString, text);
    text.detach();
    const QChar *storage = text.constData();
    TextBuffer buffer;
    buffer.setText(std::move(text));
    QString scratch;
    QCOMPARE(buffer.lineView(0, &scratch).constData(), storage);
    QVERIFY(scratch.isNull());
    QCOMPARE(buffer.lineText(2), u("three"));
}

// ---------------------------------------------------------------------------
// Long lines

void TestOutputBox::wideLineMatchesWholeLayout_data()
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

void TestOutputBox::wideLineMatchesWholeLayout()
{
    // Every position of the table is where Qt puts it laying out the whole line.
    QFETCH(QString, line);
    QVERIFY(line.size() >= WideLine::kMinLength);
    QWidget device;
    LineShaper shaper;
    shaper.setFont(device.font(), &device);
    WideLine wide;
    wide.build(line, shaper);
    const std::unique_ptr<QTextLayout> whole = shaper.layout(line);
    const QTextLine reference = whole->lineAt(0);

    QCOMPARE(wide.height(), reference.height());
    QCOMPARE(wide.base(), reference.ascent() + std::max<qreal>(0, reference.leading()));
    QCOMPARE(wide.naturalWidth(), reference.naturalTextWidth());
    for (int column = 0; column <= line.size(); column += column < 200 ? 1 : 37) {
        QCOMPARE(wide.cursorToX(line, column, shaper), reference.cursorToX(column));
        const qreal x = reference.cursorToX(column) + 0.3;
        QCOMPARE(wide.xToCursor(line, x, shaper), reference.xToCursor(x));
    }
    QCOMPARE(wide.cursorToX(line, int(line.size()), shaper), reference.cursorToX(int(line.size())));
}

QTEST_MAIN(TestOutputBox)
#include "tst_outputbox.moc"
