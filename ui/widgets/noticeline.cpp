// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "noticeline.h"

NoticeLine::NoticeLine(QWidget *parent)
    : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    setForegroundRole(QPalette::ToolTipText);
    setBackgroundRole(QPalette::ToolTipBase);
    setAutoFillBackground(true);
}

NoticeLine::~NoticeLine() = default;

void NoticeLine::setWords(const QString &words)
{
    m_words = words;
    setAccessibleName(words);
    setToolTip(words);
    showWords();
}

void NoticeLine::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    showWords();
}

void NoticeLine::showWords()
{
    setText(fontMetrics().elidedText(m_words, Qt::ElideRight, contentsRect().width() - indent()));
}
