// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The output box's text: one string, an index of its line starts and an estimate of each line's
// width, and the characters and words of a line as the caret steps over them and screen readers
// read them. Qt Core only, so that it can be tested without a widget.
//
// Every line break kind (LF, CR LF, CR, U+2028, U+2029) ends a line, and the text is kept exactly
// as set. A change of the key rewrites every line of a book, so each change re-indexes only the
// lines it touched where it can, and the widths add up per-unit advances that the box measures
// in its font, each unit once.
#pragma once

#include "changedspan.h"

#include <QString>
#include <QTextBoundaryFinder>

#include <functional>
#include <utility>
#include <vector>

class OutputText
{
public:
    // The advance in pixels of a unit that is no line break, in the font the text is shown in.
    using Measure = std::function<qreal(char16_t unit)>;

    OutputText();

    const QString &text() const { return m_text; }
    // Replaces the text, old and new differing over span.
    void setText(const QString &text, const ChangedSpan &span);
    // Measures again, as the units turn up, and estimates every line's width anew.
    void setMeasure(Measure measure);

    qsizetype lineCount() const { return qsizetype(m_lineStarts.size()); }
    qsizetype lineStart(qsizetype line) const { return m_lineStarts[size_t(line)]; }
    // Where the line's characters end, before its line break.
    qsizetype lineEnd(qsizetype line) const;
    qsizetype lineOf(qsizetype offset) const;
    // The estimated width of the widest line, in pixels.
    qreal widestLine() const;
    // The measured advance of a unit, 0 for one not met yet and for line breaks.
    qreal advanceOf(char16_t unit) const;

    // The characters and words next to offset: past a line's end to the next line's start.
    qsizetype nextCharacter(qsizetype offset) const;
    qsizetype previousCharacter(qsizetype offset) const;
    qsizetype nextWord(qsizetype offset) const;
    qsizetype previousWord(qsizetype offset) const;
    // Whether the unit at offset continues a character: the second half of a surrogate pair, a
    // combining mark or a joiner.
    bool continuesCharacter(qsizetype offset) const;
    // The grapheme or word that holds offset, which lies inside a line, not on its break.
    std::pair<qsizetype, qsizetype> itemAround(qsizetype offset,
                                               QTextBoundaryFinder::BoundaryType type) const;
    // From the last start of a word or sentence at or before offset to the next start after it,
    // within offset's line: a word with the spaces and punctuation that follow it.
    std::pair<qsizetype, qsizetype> startsAround(qsizetype offset,
                                                 QTextBoundaryFinder::BoundaryType type) const;

private:
    void indexLines();
    void indexLines(const ChangedSpan &span);
    void scanLines(qsizetype from, qsizetype to, std::vector<qsizetype> &starts,
                   std::vector<qint64> &widths);
    void lineWidthsChanged();
    qint32 measureAdvance(char16_t unit);

    QString m_text;
    std::vector<qsizetype> m_lineStarts{0};
    std::vector<qint64> m_lineWidths{0}; // in 1/AdvanceUnit pixels
    qint64 m_widest = 0;
    Measure m_measure;
    // Advances by UTF-16 unit in 1/AdvanceUnit pixels, measured as units turn up; allocated
    // only once there is text.
    static constexpr qint32 AdvanceUnit = 64;
    static constexpr qint32 UnknownAdvance = -1;
    static constexpr qint32 LineBreakAdvance = -2;
    std::vector<qint32> m_advances;
};
