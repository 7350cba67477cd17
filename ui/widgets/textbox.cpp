// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "textbox.h"

#include "boxframe.h"

#include <QMimeData>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>

namespace {

// Above this many characters, reading the whole document is faster than reading a part of it
// through a cursor.
constexpr int LargeEdit = 64 * 1024;

// The document separates its blocks with paragraph separators, where the box shows line breaks.
void toLineFeeds(QString &text)
{
    // A plain loop that vectorises: QString::replace takes longer than the transform itself.
    auto *units = reinterpret_cast<char16_t *>(text.data());
    for (qsizetype i = 0, size = text.size(); i < size; ++i)
        units[i] = units[i] == u'\u2029' ? u'\n' : units[i];
}

} // namespace

TextBox::TextBox(QWidget *parent)
    : QPlainTextEdit(parent)
{
    // Two pixels around the text and the scroll bars, for the frame and the focus ring.
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setLineWidth(2);
    connect(document(), &QTextDocument::contentsChange, this, &TextBox::documentChanged);
}

TextBox::~TextBox() = default;

// An edit replaces removed characters at position with added ones. One that replaces the whole
// document counts its final paragraph separator too, which the text does not hold; and where
// the counts do not add up, the whole text is read again.
void TextBox::documentChanged(int position, int removed, int added)
{
    const qsizetype size = document()->characterCount() - 1;
    const qsizetype oldSize = m_text.size();
    const qsizetype from = std::clamp<qsizetype>(position, 0, oldSize);
    const qsizetype gone = std::clamp<qsizetype>(removed, 0, oldSize - from);
    const qsizetype come = std::clamp<qsizetype>(added, 0, size - from);
    if (from != position || oldSize - gone + come != size || come > LargeEdit) {
        readWholeText();
        return;
    }
    QTextCursor piece(document());
    piece.setPosition(int(from));
    piece.setPosition(int(from + come), QTextCursor::KeepAnchor);
    QString text = piece.selectedText();
    toLineFeeds(text);
    m_text.replace(from, gone, text);
}

void TextBox::readWholeText()
{
    m_text = document()->toRawText();
    toLineFeeds(m_text);
}

bool TextBox::event(QEvent *event)
{
    const bool handled = QPlainTextEdit::event(event);
    if (event->type() == QEvent::Paint)
        paintBoxFrame(this); // the frame is painted with the box, its text with the viewport
    return handled;
}

void TextBox::insertFromMimeData(const QMimeData *source)
{
    if (isReadOnly() || !source || !source->hasText()) {
        QPlainTextEdit::insertFromMimeData(source);
        return;
    }
    QTextCursor cursor = textCursor();
    cursor.insertText(source->text());
    setTextCursor(cursor);
    ensureCursorVisible();
}
