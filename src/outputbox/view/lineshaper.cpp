#include "outputbox/view/lineshaper.h"

#include <QHashFunctions>
#include <QTextLayout>

#include <cmath>

namespace {
// Enough for every block of a line of a few hundred thousand characters that
// does not repeat itself; past that the memory is worth more than the shaping.
constexpr size_t kMaxMeasured = 40000;
} // namespace

LineShaper::LineShaper()
{
    m_option.setWrapMode(QTextOption::NoWrap);
}

void LineShaper::setFont(const QFont &font, QPaintDevice *device)
{
    if (device == m_device && font == m_font && font.resolveMask() == m_font.resolveMask())
        return;
    m_font = font;
    m_device = device;
    m_measured.clear();
    m_measuredCount = 0;
    // Qt scales the tab distance with the device's resolution; a laid-out tab
    // says what it came to.
    const std::unique_ptr<QTextLayout> tab = layout(QStringLiteral("\t"));
    m_tabDistance = tab->lineAt(0).cursorToX(1);
    if (m_tabDistance <= 0)
        m_tabDistance = 80;
}

std::unique_ptr<QTextLayout> LineShaper::layout(const QString &text) const
{
    return layOut(std::make_unique<QTextLayout>(text, m_font, m_device));
}

std::unique_ptr<QTextLayout> LineShaper::layout(const QString &text, int column, const QString &composed,
                                                const QList<QTextLayout::FormatRange> &formats) const
{
    auto result = std::make_unique<QTextLayout>(text, m_font, m_device);
    result->setPreeditArea(column, composed);
    result->setFormats(formats);
    return layOut(std::move(result));
}

std::unique_ptr<QTextLayout> LineShaper::layOut(std::unique_ptr<QTextLayout> result) const
{
    result->setTextOption(m_option);
    result->setCacheEnabled(true);
    result->beginLayout();
    QTextLine line = result->createLine();
    line.setLeadingIncluded(true);
    // No wrap: the width only has to be more than any line can take.
    line.setLineWidth(1e9);
    line.setPosition(QPointF(0, 0));
    result->endLayout();
    return result;
}

LineShaper::Metrics LineShaper::measure(QStringView text, int from, int to)
{
    const size_t key = qHash(text) ^ (size_t(from) * 0x9e3779b9u) ^ (size_t(to) << 20);
    std::vector<Entry> &bucket = m_measured[key];
    for (const Entry &entry : bucket) {
        if (entry.from == from && entry.to == to && entry.text == text)
            return entry.metrics;
    }
    const std::unique_ptr<QTextLayout> shaped = layout(text.toString());
    const QTextLine line = shaped->lineAt(0);
    Metrics metrics;
    metrics.width = line.cursorToX(to) - line.cursorToX(from);
    metrics.ascent = line.ascent();
    metrics.descent = line.descent();
    metrics.leading = line.leading();
    if (m_measuredCount >= kMaxMeasured) {
        m_measured.clear();
        m_measuredCount = 0;
        m_measured[key].push_back(Entry{text.toString(), from, to, metrics});
    } else {
        bucket.push_back(Entry{text.toString(), from, to, metrics});
    }
    ++m_measuredCount;
    return metrics;
}

qreal LineShaper::tabEnd(qreal x) const
{
    // Qt keeps positions in 1/64 pixel and puts a tab's end on the next stop
    // strictly after where it starts.
    const qint64 at = qRound64(x * 64);
    const qint64 stop = qRound64(m_tabDistance * 64);
    return qreal((at / stop + 1) * stop) / 64;
}
