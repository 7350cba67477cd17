// The read-only output box: a scroll area over one plain string and an index of its line
// starts, which lays out and draws only the lines on screen. A change of the key rewrites every
// line of a book; the toolkit's text document would rebuild all of its blocks each time, this
// view rebuilds its line index and one screenful.
//
// The user places the cursor, selects with the mouse and the keyboard, and copies; nothing else
// changes the text. Every line break kind (LF, CR LF, CR, U+2028, U+2029) ends a line, and the
// text is kept exactly as set. Lines do not wrap; a line longer than LayoutChunk characters is
// laid out in pieces of about that length, placed by an estimate of their width, so that a whole
// book on one line costs no more than a screenful.
#pragma once

#include "changedspan.h"

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QString>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

QT_BEGIN_NAMESPACE
class QTextLayout;
QT_END_NAMESPACE

// Whether a UTF-16 unit ends a line of the output: LF, CR (a CR before an LF makes one break with
// it), U+2028 and U+2029.
inline bool isLineBreak(char16_t unit)
{
    return unit == u'\n' || unit == u'\r' || (unit & 0xFFFE) == 0x2028;
}

class OutputView : public QAbstractScrollArea
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(OutputView)

public:
    explicit OutputView(QWidget *parent = nullptr);
    ~OutputView() override;

    const QString &text() const { return m_text; }
    // Replaces the text. A selection wholly outside span (where the old and the new text
    // differ) stays on its characters; one that overlaps it is dropped. The scroll position
    // stays as it is.
    void setText(const QString &text, const ChangedSpan &span);
    void setText(const QString &text);

    qsizetype lineCount() const { return qsizetype(m_lineStarts.size()); }
    qsizetype lineStart(qsizetype line) const { return m_lineStarts[size_t(line)]; }
    // Where the line's characters end, before its line break.
    qsizetype lineEnd(qsizetype line) const;
    qsizetype lineOf(qsizetype offset) const;

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
    // The grapheme or word that holds offset, which lies inside a line, not on its break.
    std::pair<qsizetype, qsizetype> itemAround(qsizetype offset,
                                               QTextBoundaryFinder::BoundaryType type) const;
    // From the last start of a word or sentence at or before offset to the next start after it,
    // within offset's line: a word with the spaces and punctuation that follow it.
    std::pair<qsizetype, qsizetype> startsAround(qsizetype offset,
                                                 QTextBoundaryFinder::BoundaryType type) const;

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

    void indexLines();
    void indexLines(const ChangedSpan &span);
    void scanLines(qsizetype from, qsizetype to, std::vector<qsizetype> &starts,
                   std::vector<qint64> &widths);
    void lineIndexChanged();
    void fontChanged();
    qint32 measureAdvance(char16_t unit);
    qreal advanceOf(char16_t unit) const;
    void updateScrollBars();
    int visibleLines() const;
    QPointF lineOrigin(qsizetype line) const;
    const std::vector<Chunk> &chunksOf(qsizetype line) const;
    Chunk chunkAt(qsizetype line, qsizetype offset) const;
    Chunk chunkAtX(qsizetype line, qreal x) const;
    QTextLayout &layoutOf(const Chunk &chunk) const;
    qreal xOf(qsizetype offset) const;
    qsizetype offsetInLine(qsizetype line, qreal x) const;

    qsizetype nextCharacter(qsizetype offset) const;
    qsizetype previousCharacter(qsizetype offset) const;
    qsizetype nextWord(qsizetype offset) const;
    qsizetype previousWord(qsizetype offset) const;
    void selectWordAt(qsizetype offset);
    void moveCursor(qsizetype offset, bool keepAnchor, bool keepGoalX = false);
    void changeSelection(qsizetype anchor, qsizetype position);
    void extendDragTo(QPoint point);
    void restartBlinking();
    void offerSelectionToPrimary() const;

    QString m_text;
    std::vector<qsizetype> m_lineStarts{0};
    std::vector<qint64> m_lineWidths{0}; // estimated, in 1/AdvanceUnit pixels
    qreal m_widestLine = 0;
    // Advances by UTF-16 unit in 1/AdvanceUnit pixels, measured as units turn up.
    static constexpr qint32 AdvanceUnit = 64;
    static constexpr qint32 UnknownAdvance = -1;
    static constexpr qint32 LineBreakAdvance = -2;
    std::vector<qint32> m_advances;
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
