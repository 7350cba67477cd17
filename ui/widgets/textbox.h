// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The input box: a multi-line plain-text editor that also keeps its text as one string.
//
// The window recomputes the output at every keystroke, and reading a book's text out of the
// editor's document costs more than the whole transform; so the box keeps a copy, changed edit
// by edit as the document reports them. Its line breaks are line feeds, every other character
// is kept exactly as typed or pasted. It pastes plain text straight into its document: the
// toolkit's own paste first builds a separate document of the whole text and then copies it in,
// block by block. Its frame stands out on any palette.
#pragma once

#include <QPlainTextEdit>
#include <QString>

class TextBox : public QPlainTextEdit
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TextBox)

public:
    explicit TextBox(QWidget *parent = nullptr);
    ~TextBox() override;

    // The box's text, line breaks as line feeds.
    const QString &text() const { return m_text; }

protected:
    bool event(QEvent *event) override;
    void insertFromMimeData(const QMimeData *source) override;

private:
    void documentChanged(int position, int removed, int added);
    void readWholeText();

    QString m_text;
};
