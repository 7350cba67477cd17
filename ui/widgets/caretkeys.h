// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Which keys move the caret of a text that can be read but not edited, and how: the platform's
// standard keys for moving, and with Shift for selecting, by character, word, line or page, to
// either end of a line or of the text, as in the toolkit's own text boxes.
#pragma once

#include <QtGlobal>

#include <optional>

QT_BEGIN_NAMESPACE
class QKeyEvent;
QT_END_NAMESPACE

struct CaretMove
{
    enum Step { Character, Word, Line, Page, LineEnd, TextEnd };
    Step step = Character;
    bool forward = true;
    bool select = false; // the anchor stays, and the selection grows or shrinks
};

// The move a key asks for, none for any other key.
std::optional<CaretMove> caretMoveFor(const QKeyEvent *event);
