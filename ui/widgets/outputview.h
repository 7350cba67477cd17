// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The read-only output box: a scroll area over the output's text (OutputText: one string and an
// index of its lines) that lays out and draws only the lines on screen. A change of the key
// rewrites every line of a book; the toolkit's text document would rebuild all of its blocks
// each time, this view re-indexes the lines and lays out one screenful.
//
// The user places the cursor, selects with the mouse and the keyboard, and copies; nothing else
// changes the text. Lines do not wrap; a line longer than LayoutChunk characters is laid out in
// pieces of about that length, placed by the text's estimate of their width, so that a whole
// book on one line costs no more than a screenful.
#pragma once

#include "changedspan.h"
#include "outputtext.h"

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QString>

#include <algorithm>
#include <memory>
#include <unordered_map>
#include <vector>

QT_BEGIN_NAMESPACE
class QTextLayout;
QT_END_NAMESPACE

class NoticeLine;

class OutputView : public QAbstractScrollArea
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(OutputView)

public:
    explicit OutputView(QWidget *parent = nullptr);
    ~OutputView() override;

    const QString &text() const { return m_content.text(); }
    // The text with its lines, words and characters.
    const OutputText &content() const { return m_content; }
    // Replaces the text. A selection wholly outside span (where the old and the new text
    // differ) stays on its characters; one that overlaps it is dropped. The scroll position
    // stays as it is.
    void setText(const QString &text, const ChangedSpan &span);
    void setText(const QString &text);
    // A line about the text, such as that it is cut, shown under it inside the box (its whole
    // words in the line's tooltip and accessible name where they do not fit); none when empty.
    void setNotice(const QString &notice);
    QString notice() const;

    qsizetype anchor() const { return m_anchor; }
    qsizetype position() const { return m_position; }
    qsizetype selectionStart() const { return std::min(m_anchor, m_position); }
    qsizetype selectionEnd() const { return std::max(m_anchor, m_position); }
    bool hasSelection() const { return m_anchor != m_position; }
    QString selectedText() const;
    void setSelection(qsizetype anchor, qsizetype position);
    void selectAll();
    void copy() const;

    // Viewport coordinates of a character, and the character at a viewport point.
    QRect characterRect(qsizetype offset) const;
    qsizetype offsetAt(QPoint point) const;
    void ensureVisible(qsizetype offset);

    // Lines longer than this are laid out in pieces.
    static constexpr qsizetype LayoutChunk = 1024;
    // The space around the text, as in the toolkit's text boxes.
    static constexpr int Margin = 4;

Q_SIGNALS:
    void textChanged();
    void selectionChanged();
    void cursorPositionChanged();

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void timerEvent(QTimerEvent *event) override;
    void changeEvent(QEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    // A piece of a line laid out on its own: the whole line where it is short.
    struct Chunk
    {
        qsizetype start = 0;
        qsizetype end = 0;
        qreal x = 0; // from the line's start, estimated for all but a line's first piece
        bool ofLongLine = false;
    };

    void lineIndexChanged();
    void fontChanged();
    void placeNotice();
    void updateScrollBars();
    int visibleLines() const;
    QPointF lineOrigin(qsizetype line) const;
    const std::vector<Chunk> &chunksOf(qsizetype line) const;
    Chunk chunkAt(qsizetype line, qsizetype offset) const;
    Chunk chunkAtX(qsizetype line, qreal x) const;
    QTextLayout &layoutOf(const Chunk &chunk) const;
    qreal xOf(qsizetype offset) const;
    qsizetype offsetInLine(qsizetype line, qreal x) const;

    void selectWordAt(qsizetype offset);
    void moveCursor(qsizetype offset, bool keepAnchor, bool keepGoalX = false);
    void changeSelection(qsizetype anchor, qsizetype position);
    void extendDragTo(QPoint point);
    void restartBlinking();
    void offerSelectionToPrimary() const;

    OutputText m_content;
    NoticeLine *m_notice = nullptr;
    // The estimated width of the widest line, widened where a line laid out is wider.
    qreal m_widestLine = 0;
    int m_lineHeight = 1;
    qreal m_tabWidth = 80;

    qsizetype m_anchor = 0;
    qsizetype m_position = 0;
    qreal m_goalX = -1; // where Up and Down aim, kept while they repeat

    // What is on screen, laid out: the pieces of each line shown, and their layouts by start.
    mutable std::unordered_map<qsizetype, std::vector<Chunk>> m_chunks;
    mutable std::unordered_map<qsizetype, std::unique_ptr<QTextLayout>> m_layouts;

    QBasicTimer m_blinkTimer;
    bool m_cursorShown = true;
    QBasicTimer m_dragScrollTimer;
    QPoint m_dragPoint;
    bool m_dragging = false;
    QBasicTimer m_tripleClickTimer;
};
