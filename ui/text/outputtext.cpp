// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "outputtext.h"

#include "substitution.h"

#include <algorithm>
#include <cmath>

namespace {

// How far the search for a character or word boundary looks around an offset. Boundaries are
// local, and a window keeps a step on a line of a million characters from reading all of it.
constexpr qsizetype CharacterWindow = 64;
constexpr qsizetype WordWindow = 256;

} // namespace

OutputText::OutputText()
    : m_measure([](char16_t) { return qreal(0); })
{
}

void OutputText::setText(const QString &text, const ChangedSpan &span)
{
    m_text = text;
    if (!span.isEmpty())
        indexLines(span);
}

void OutputText::setMeasure(Measure measure)
{
    m_measure = std::move(measure);
    m_advances.clear(); // measured again as the characters turn up
    indexLines();
}

// One pass over the text finds the line starts and estimates each line's width from the
// advances of its characters, which sets the range of the horizontal scroll bar. It runs on every
// change of a whole book, so a single table lookup per character tells a line break, an advance
// and a character not met before apart, and advances add up in fixed point.
void OutputText::indexLines()
{
    m_lineStarts.assign(1, 0);
    m_lineWidths.clear();
    scanLines(0, m_text.size(), m_lineStarts, m_lineWidths);
    lineWidthsChanged();
}

// Typing changes a line or two of a book: only the lines the change touched are scanned again,
// from the line before it (whose CR may now meet an LF) to the first line start past it that
// the change cannot have moved, and every later line start moves by the change's length.
void OutputText::indexLines(const ChangedSpan &span)
{
    const qsizetype first = lineOf(std::max<qsizetype>(0, span.start - 1));
    const auto after =
        std::upper_bound(m_lineStarts.begin(), m_lineStarts.end(), span.beforeEnd + 1);
    const qsizetype shift = span.afterEnd - span.beforeEnd;
    if (span.afterEnd - span.start > m_text.size() / 2) {
        indexLines(); // a change of the key: most lines changed
        return;
    }
    const qsizetype last = after - m_lineStarts.begin(); // the first line left as it was
    const qsizetype stop = last < lineCount() ? m_lineStarts[size_t(last)] + shift : m_text.size();
    std::vector<qsizetype> starts{m_lineStarts[size_t(first)]};
    std::vector<qint64> widths;
    scanLines(starts.front(), stop, starts, widths);
    if (last < lineCount() && starts.back() != stop) {
        indexLines(); // not where the unchanged lines begin: cannot happen, but costs only time
        return;
    }
    if (last < lineCount())
        starts.pop_back(); // the first unchanged line, which follows
    for (auto start = after; start != m_lineStarts.end(); ++start)
        *start += shift;
    m_lineStarts.erase(m_lineStarts.begin() + first, after);
    m_lineStarts.insert(m_lineStarts.begin() + first, starts.begin(), starts.end());
    m_lineWidths.erase(m_lineWidths.begin() + first, m_lineWidths.begin() + last);
    m_lineWidths.insert(m_lineWidths.begin() + first, widths.begin(), widths.end());
    lineWidthsChanged();
}

// Scans text[from, to), from the start of a line, adding the start of each further line to starts
// and the estimated width of each line it ends to widths, the last line's too where to is the end
// of the text.
void OutputText::scanLines(qsizetype from, qsizetype to, std::vector<qsizetype> &starts,
                           std::vector<qint64> &widths)
{
    const auto *units = reinterpret_cast<const char16_t *>(m_text.utf16());
    const qsizetype size = m_text.size();
    if (size > 0 && m_advances.empty())
        m_advances.assign(0x10000, UnknownAdvance);
    const qint32 *const advances = m_advances.data();
    qint64 width = 0;
    for (qsizetype i = from; i < to; ++i) {
        // Four units at a time while none ends a line or is still unmeasured (both negative): one
        // test for the four rather than two for each, on every change of a whole book.
        while (to - i >= 4) {
            const qint32 a = advances[units[i]], b = advances[units[i + 1]],
                         c = advances[units[i + 2]], d = advances[units[i + 3]];
            if ((a | b | c | d) < 0)
                break;
            width += qint64(a) + b + c + d;
            i += 4;
        }
        if (i == to)
            break;
        const char16_t unit = units[i];
        qint32 step = m_advances[unit];
        if (step == UnknownAdvance)
            step = measureAdvance(unit);
        if (step >= 0) {
            width += step;
            continue;
        }
        i = lineBreakEnd(m_text, i) - 1;
        starts.push_back(i + 1);
        widths.push_back(width);
        width = 0;
    }
    if (to == size)
        widths.push_back(width);
}

qsizetype OutputText::lineEnd(qsizetype line) const
{
    if (line + 1 >= lineCount())
        return m_text.size();
    const qsizetype next = lineStart(line + 1);
    return next - (isInsideCrLf(m_text, next - 1) ? 2 : 1);
}

qsizetype OutputText::lineOf(qsizetype offset) const
{
    const auto after = std::upper_bound(m_lineStarts.begin(), m_lineStarts.end(), offset);
    return qsizetype(after - m_lineStarts.begin()) - 1;
}

qsizetype OutputText::nextCharacter(qsizetype offset) const
{
    const qsizetype line = lineOf(offset);
    const qsizetype end = lineEnd(line);
    if (offset >= end)
        return line + 1 < lineCount() ? lineStart(line + 1) : offset;
    const qsizetype length = std::min(end - offset, CharacterWindow);
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, m_text.constData() + offset, length);
    const qsizetype next = finder.toNextBoundary();
    return offset + (next > 0 ? next : length);
}

qsizetype OutputText::previousCharacter(qsizetype offset) const
{
    const qsizetype line = lineOf(offset);
    const qsizetype start = lineStart(line);
    if (offset <= start)
        return line > 0 ? lineEnd(line - 1) : offset;
    const qsizetype begin = std::max(start, offset - CharacterWindow);
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, m_text.constData() + begin,
                               offset - begin);
    finder.toEnd();
    const qsizetype previous = finder.toPreviousBoundary();
    return begin + std::max<qsizetype>(previous, 0);
}

// Words as the toolkit's editors step over them: to the start of the next or of this word.
qsizetype OutputText::nextWord(qsizetype offset) const
{
    const qsizetype end = lineEnd(lineOf(offset));
    if (offset >= end)
        return nextCharacter(offset);
    const qsizetype length = std::min(end - offset, WordWindow);
    QTextBoundaryFinder finder(QTextBoundaryFinder::Word, m_text.constData() + offset, length);
    for (qsizetype next = finder.toNextBoundary(); next > 0; next = finder.toNextBoundary()) {
        if (next == length || finder.boundaryReasons() & QTextBoundaryFinder::StartOfItem)
            return offset + next;
    }
    return offset + length;
}

qsizetype OutputText::previousWord(qsizetype offset) const
{
    const qsizetype start = lineStart(lineOf(offset));
    if (offset <= start)
        return previousCharacter(offset);
    const qsizetype begin = std::max(start, offset - WordWindow);
    QTextBoundaryFinder finder(QTextBoundaryFinder::Word, m_text.constData() + begin,
                               offset - begin);
    finder.toEnd();
    for (qsizetype previous = finder.toPreviousBoundary(); previous > 0;
         previous = finder.toPreviousBoundary()) {
        if (finder.boundaryReasons() & QTextBoundaryFinder::StartOfItem)
            return begin + previous;
    }
    return begin;
}

bool OutputText::continuesCharacter(qsizetype offset) const
{
    const QChar unit = m_text[offset];
    if (unit.isLowSurrogate())
        return true;
    char32_t code = unit.unicode();
    if (unit.isHighSurrogate() && offset + 1 < m_text.size() && m_text[offset + 1].isLowSurrogate())
        code = QChar::surrogateToUcs4(unit, m_text[offset + 1]);
    return QChar::isMark(code) || code == 0x200D;
}

std::pair<qsizetype, qsizetype> OutputText::itemAround(qsizetype offset,
                                                       QTextBoundaryFinder::BoundaryType type) const
{
    const qsizetype line = lineOf(offset);
    const qsizetype start = std::max(lineStart(line), offset - WordWindow);
    const qsizetype end = std::min(lineEnd(line), offset + WordWindow);
    QTextBoundaryFinder finder(type, m_text.constData() + start, end - start);
    const qsizetype at = offset - start;
    finder.setPosition(at);
    const qsizetype first = finder.isAtBoundary() ? at : finder.toPreviousBoundary();
    finder.setPosition(at);
    const qsizetype last = finder.toNextBoundary();
    return {start + std::max<qsizetype>(first, 0), last < 0 ? end : start + last};
}

std::pair<qsizetype, qsizetype>
OutputText::startsAround(qsizetype offset, QTextBoundaryFinder::BoundaryType type) const
{
    const qsizetype line = lineOf(offset);
    const qsizetype start = std::max(lineStart(line), offset - WordWindow);
    const qsizetype end = std::min(lineEnd(line), offset + WordWindow);
    QTextBoundaryFinder finder(type, m_text.constData() + start, end - start);
    const auto isStart = [&] {
        return finder.boundaryReasons() & QTextBoundaryFinder::StartOfItem;
    };
    finder.setPosition(offset - start);
    qsizetype first = finder.isAtBoundary() ? offset - start : finder.toPreviousBoundary();
    while (first > 0 && !isStart())
        first = finder.toPreviousBoundary();
    finder.setPosition(offset - start);
    qsizetype last = finder.toNextBoundary();
    while (last > 0 && last < end - start && !isStart())
        last = finder.toNextBoundary();
    return {start + std::max<qsizetype>(first, 0), last <= 0 ? end : start + last};
}

qint32 OutputText::measureAdvance(char16_t unit)
{
    return m_advances[unit] = isLineBreak(unit)
                                  ? LineBreakAdvance
                                  : qint32(std::lround(m_measure(unit) * AdvanceUnit));
}

qreal OutputText::advanceOf(char16_t unit) const
{
    const qint32 step = m_advances.empty() ? 0 : m_advances[unit];
    return step > 0 ? qreal(step) / AdvanceUnit : 0;
}

qreal OutputText::widestLine() const
{
    return qreal(m_widest) / AdvanceUnit;
}

void OutputText::lineWidthsChanged()
{
    const auto widest = std::max_element(m_lineWidths.begin(), m_lineWidths.end());
    m_widest = widest == m_lineWidths.end() ? 0 : *widest;
}
