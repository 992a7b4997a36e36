#pragma once

// The step scripts the output box's tests are written in: steps separated by
// '|', each a verb or "verb:value", the value's numbers separated by ','. The
// keys every test of the box presses are played here; each test adds the verbs
// of its own subject (the document's calls, the mouse, input methods, drops).

#include <QString>
#include <QStringList>
#ifdef QT_WIDGETS_LIB
#include <QKeySequence>
#include <QtTest>
#endif

namespace StepScript {

struct Step
{
    QString text;  // the whole step, as written
    QString verb;  // up to the first ':'
    QString value; // after it
    QStringList numbers() const { return value.split(u','); }
};

inline Step step(const QString &text)
{
    return Step{text, text.section(u':', 0, 0), text.section(u':', 1)};
}

inline QList<Step> parse(const QString &script)
{
    QList<Step> steps;
    for (const QString &text : script.split(u'|', Qt::SkipEmptyParts))
        steps.append(step(text));
    return steps;
}

#ifdef QT_WIDGETS_LIB
// For the widget's tests (the document's test has no widget and links no
// Qt Widgets): "type:TEXT", a key press per character (one outside ASCII as a key with that
// text), and "key:SEQUENCE", one key combination as QKeySequence reads it.
// Whether the step was one of these.
inline bool playKey(QWidget *target, const Step &step)
{
    if (step.verb == u"type") {
        for (const QChar c : step.value) {
            if (c.unicode() < 0x7f && c.isPrint())
                QTest::keyClick(target, c.toLatin1());
            else
                QTest::sendKeyEvent(QTest::Click, target, Qt::Key_unknown, QString(c), Qt::NoModifier);
        }
        return true;
    }
    if (step.verb == u"key") {
        const QKeySequence sequence(step.value);
        if (sequence.isEmpty())
            return false;
        const QKeyCombination key = sequence[0];
        QTest::keyClick(target, key.key(), key.keyboardModifiers());
        return true;
    }
    return false;
}
#endif

} // namespace StepScript
