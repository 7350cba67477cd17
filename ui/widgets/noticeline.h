// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

// A line of words about a box's text, such as that the text is cut, shown inside the box in the
// colours of a tooltip, so that it reads as a remark on the text rather than as part of it. Where
// the words are wider than the line, it shows them ending in "…", and its tooltip and its
// accessible name hold them whole.
#pragma once

#include <QLabel>
#include <QString>

class NoticeLine : public QLabel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(NoticeLine)

public:
    explicit NoticeLine(QWidget *parent = nullptr);
    ~NoticeLine() override;

    QString words() const { return m_words; }
    void setWords(const QString &words);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void showWords();

    QString m_words;
};
