#pragma once

#include <QFont>
#include <QList>
#include <QString>
#include <QStringView>
#include <QTextLayout>
#include <QTextOption>

#include <memory>
#include <unordered_map>
#include <vector>

class QPaintDevice;

// Lays out text the way QPlainTextEdit lays out one line of a document (the
// widget's font, no wrap, the document's default tab stops, leading included),
// and remembers what short runs of a long line measured, so a line of a million
// characters that repeats itself is shaped only a few times.
class LineShaper
{
public:
    struct Metrics
    {
        qreal width = 0;
        qreal ascent = 0;
        qreal descent = 0;
        qreal leading = 0;
    };

    LineShaper();

    // A new font or paint device forgets every measurement.
    void setFont(const QFont &font, QPaintDevice *device);

    // One line holding all of text, laid out at (0, 0).
    std::unique_ptr<QTextLayout> layout(const QString &text) const;
    // The same with an input method's text being composed at a column, in its
    // formats (columns of the line with that text in it).
    std::unique_ptr<QTextLayout> layout(const QString &text, int column, const QString &composed,
                                        const QList<QTextLayout::FormatRange> &formats) const;

    // The advance of text[from, to) when shaped together with the rest of text
    // (its neighbours change kerning and ligatures at the edges), and the
    // vertical metrics of all of text.
    Metrics measure(QStringView text, int from, int to);

    // Where a tab that starts at x (from the start of the line) ends.
    qreal tabEnd(qreal x) const;

private:
    std::unique_ptr<QTextLayout> layOut(std::unique_ptr<QTextLayout> layout) const;

    struct Entry
    {
        QString text;
        int from;
        int to;
        Metrics metrics;
    };

    QFont m_font;
    QPaintDevice *m_device = nullptr;
    QTextOption m_option;
    qreal m_tabDistance = 80;
    std::unordered_map<size_t, std::vector<Entry>> m_measured;
    size_t m_measuredCount = 0;
};
