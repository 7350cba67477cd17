// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "caretkeys.h"

#include <QKeyEvent>
#include <QKeySequence>

std::optional<CaretMove> caretMoveFor(const QKeyEvent *event)
{
    struct Binding
    {
        QKeySequence::StandardKey move;
        QKeySequence::StandardKey select;
        CaretMove::Step step;
        bool forward;
    };
    // The ends of the text first, where a platform binds a key to it and to the end of a line.
    static const Binding bindings[] = {
        {QKeySequence::MoveToEndOfDocument, QKeySequence::SelectEndOfDocument, CaretMove::TextEnd,
         true},
        {QKeySequence::MoveToStartOfDocument, QKeySequence::SelectStartOfDocument,
         CaretMove::TextEnd, false},
        {QKeySequence::MoveToNextChar, QKeySequence::SelectNextChar, CaretMove::Character, true},
        {QKeySequence::MoveToPreviousChar, QKeySequence::SelectPreviousChar, CaretMove::Character,
         false},
        {QKeySequence::MoveToNextWord, QKeySequence::SelectNextWord, CaretMove::Word, true},
        {QKeySequence::MoveToPreviousWord, QKeySequence::SelectPreviousWord, CaretMove::Word,
         false},
        {QKeySequence::MoveToNextLine, QKeySequence::SelectNextLine, CaretMove::Line, true},
        {QKeySequence::MoveToPreviousLine, QKeySequence::SelectPreviousLine, CaretMove::Line,
         false},
        {QKeySequence::MoveToNextPage, QKeySequence::SelectNextPage, CaretMove::Page, true},
        {QKeySequence::MoveToPreviousPage, QKeySequence::SelectPreviousPage, CaretMove::Page,
         false},
        {QKeySequence::MoveToEndOfLine, QKeySequence::SelectEndOfLine, CaretMove::LineEnd, true},
        {QKeySequence::MoveToStartOfLine, QKeySequence::SelectStartOfLine, CaretMove::LineEnd,
         false},
        {QKeySequence::MoveToEndOfBlock, QKeySequence::SelectEndOfBlock, CaretMove::LineEnd, true},
        {QKeySequence::MoveToStartOfBlock, QKeySequence::SelectStartOfBlock, CaretMove::LineEnd,
         false},
    };
    for (const Binding &binding : bindings) {
        const bool select = event->matches(binding.select);
        if (select || event->matches(binding.move))
            return CaretMove{binding.step, binding.forward, select};
    }
    return std::nullopt;
}
