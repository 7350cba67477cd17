// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "outputview.h"

#include "boxframe.h"
#include "caretkeys.h"
#include "noticeline.h"
#include "substitution.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QTextBoundaryFinder>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace {

// The widest a laid-out piece can be: far beyond any piece, and within the layout's range.
constexpr qreal UnboundedWidth = 1e7;

} // namespace

OutputView::OutputView(QWidget *parent)
    : QAbstractScrollArea(parent)
{
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Two pixels around the text and the scroll bars, for the frame and the focus ring.
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setLineWidth(2);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    fontChanged();
}

OutputView::~OutputView() = default;

void OutputView::setText(const QString &text)
{
    setText(text, changedSpan(m_content.text(), text));
}

void OutputView::setText(const QString &text, const ChangedSpan &span)
{
    if (span.isEmpty()) {
        m_content.setText(text, span); // the same characters; sharing them saves a copy
        return;
    }
    qsizetype anchor = span.start;
    qsizetype position = span.start; // where the text under the cursor or the selection changed
    if (selectionEnd() <= span.start || selectionStart() >= span.beforeEnd) {
        anchor = span.moved(m_anchor, span.start);
        position = span.moved(m_position, span.start);
    }

    // What changes where the focus is not is announced once typing pauses (OutputAnnouncer):
    // an event for every keystroke would only crowd the screen reader's queue.
    const bool announce = QAccessible::isActive() && hasFocus();
    const QString removed =
        announce ? m_content.text().mid(span.start, span.beforeEnd - span.start) : QString();
    m_content.setText(text, span);
    lineIndexChanged();
    // A position may not fall between the two characters of a CR LF pair.
    for (qsizetype *at : {&anchor, &position}) {
        *at = std::clamp<qsizetype>(*at, 0, text.size());
        if (isInsideCrLf(text, *at))
            --*at;
    }
    updateScrollBars();
    viewport()->update();

    if (announce) {
        const QString inserted = text.mid(span.start, span.afterEnd - span.start);
        if (!removed.isEmpty() && !inserted.isEmpty()) {
            QAccessibleTextUpdateEvent update(this, int(span.start), removed, inserted);
            QAccessible::updateAccessibility(&update);
        } else if (!inserted.isEmpty()) {
            QAccessibleTextInsertEvent insert(this, int(span.start), inserted);
            QAccessible::updateAccessibility(&insert);
        } else {
            QAccessibleTextRemoveEvent remove(this, int(span.start), removed);
            QAccessible::updateAccessibility(&remove);
        }
    }
    changeSelection(anchor, position);
    Q_EMIT textChanged();
}

void OutputView::setNotice(const QString &notice)
{
    if (!m_notice) {
        m_notice = new NoticeLine(this);
        m_notice->setObjectName(QStringLiteral("notice"));
        m_notice->setIndent(Margin);
    }
    m_notice->setWords(notice);
    m_notice->setVisible(!notice.isEmpty());
    setViewportMargins(0, 0, 0, notice.isEmpty() ? 0 : m_lineHeight + 2);
    placeNotice();
}

QString OutputView::notice() const
{
    return m_notice ? m_notice->words() : QString();
}

// In the margin between the text and the sideways scroll bar.
void OutputView::placeNotice()
{
    if (!m_notice || m_notice->isHidden())
        return;
    const QRect text = viewport()->geometry();
    m_notice->setGeometry(text.left(), text.bottom() + 1, text.width(), m_lineHeight + 2);
}

// What was laid out belongs to the old text, and the widest line may have changed.
void OutputView::lineIndexChanged()
{
    m_chunks.clear();
    m_layouts.clear();
    m_widestLine = m_content.widestLine();
}

// The text's lines are measured in the view's font; each unit is measured once, as it turns up.
void OutputView::fontChanged()
{
    const QFontMetricsF metrics(font());
    m_lineHeight = std::max(1, QFontMetrics(font()).lineSpacing());
    m_content.setMeasure([metrics, tabWidth = m_tabWidth](char16_t unit) -> qreal {
        if (QChar::isHighSurrogate(unit))
            return metrics.averageCharWidth(); // the pair's width, counted once
        if (unit == u'\t')
            return tabWidth;
        const QChar::Category category = QChar::category(unit);
        if (QChar::isLowSurrogate(unit) || category == QChar::Mark_NonSpacing ||
            category == QChar::Mark_Enclosing || category == QChar::Other_Format)
            return 0;
        return metrics.horizontalAdvance(QString(QChar(unit))); // as a layout shapes it
    });
    lineIndexChanged();
    updateScrollBars();
    viewport()->update();
    if (m_notice)
        setNotice(notice()); // its line is a line high
}

QString OutputView::selectedText() const
{
    return text().mid(selectionStart(), selectionEnd() - selectionStart());
}

void OutputView::setSelection(qsizetype anchor, qsizetype position)
{
    const auto valid = [this](qsizetype at) {
        at = std::clamp<qsizetype>(at, 0, text().size());
        const qsizetype line = m_content.lineOf(at);
        return std::min(at, m_content.lineEnd(line)); // not inside a line break
    };
    m_goalX = -1;
    changeSelection(valid(anchor), valid(position));
    ensureVisible(m_position);
}

void OutputView::selectAll()
{
    changeSelection(0, text().size());
    offerSelectionToPrimary();
}

void OutputView::copy() const
{
    if (hasSelection())
        QGuiApplication::clipboard()->setText(selectedText());
}

void OutputView::offerSelectionToPrimary() const
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (hasSelection() && clipboard->supportsSelection())
        clipboard->setText(selectedText(), QClipboard::Selection);
}

void OutputView::changeSelection(qsizetype anchor, qsizetype position)
{
    if (anchor == m_anchor && position == m_position)
        return;
    const bool hadSelection = hasSelection();
    const bool moved = position != m_position;
    m_anchor = anchor;
    m_position = position;
    viewport()->update();
    restartBlinking();
    if (moved) {
        QAccessibleTextCursorEvent event(this, int(m_position));
        QAccessible::updateAccessibility(&event);
        Q_EMIT cursorPositionChanged();
    }
    if (hadSelection || hasSelection()) {
        QAccessibleTextSelectionEvent event(this, int(selectionStart()), int(selectionEnd()));
        event.setCursorPosition(int(m_position));
        QAccessible::updateAccessibility(&event);
        Q_EMIT selectionChanged();
    }
}

int OutputView::visibleLines() const
{
    return std::max(1, (viewport()->height() - 2 * Margin) / m_lineHeight);
}

void OutputView::updateScrollBars()
{
    QScrollBar *vertical = verticalScrollBar();
    vertical->setRange(0, int(std::max<qsizetype>(0, m_content.lineCount() - visibleLines())));
    vertical->setPageStep(visibleLines());
    vertical->setSingleStep(1);
    QScrollBar *horizontal = horizontalScrollBar();
    const int contentWidth = int(std::ceil(m_widestLine)) + 2 * Margin + 1;
    horizontal->setRange(0, std::max(0, contentWidth - viewport()->width()));
    horizontal->setPageStep(viewport()->width());
    horizontal->setSingleStep(std::max(1, QFontMetrics(font()).averageCharWidth() * 2));
}

QPointF OutputView::lineOrigin(qsizetype line) const
{
    return {qreal(Margin - horizontalScrollBar()->value()),
            qreal(Margin + (line - verticalScrollBar()->value()) * m_lineHeight)};
}

// A short line is one piece. A long one is cut every LayoutChunk characters, at the next place
// where a character begins (not on the second half of a surrogate pair, a combining mark or a
// joiner), and each piece is placed where the estimated advances of the
// characters before it end.
const std::vector<OutputView::Chunk> &OutputView::chunksOf(qsizetype line) const
{
    const auto known = m_chunks.find(line);
    if (known != m_chunks.end())
        return known->second;
    if (m_chunks.size() > 4096)
        m_chunks.clear();
    const qsizetype start = m_content.lineStart(line);
    const qsizetype end = m_content.lineEnd(line);
    std::vector<Chunk> &chunks = m_chunks[line];
    if (end - start <= LayoutChunk) {
        chunks.push_back({start, end, 0});
        return chunks;
    }
    const QStringView units(text());
    qreal x = 0;
    qsizetype at = start;
    while (at < end) {
        qsizetype cut = std::min(end, at + LayoutChunk);
        while (cut < end && cut - at < 2 * LayoutChunk && m_content.continuesCharacter(cut))
            ++cut;
        chunks.push_back({at, cut, x, true});
        for (qsizetype i = at; i < cut; ++i)
            x += m_content.advanceOf(units[i].unicode());
        at = cut;
    }
    return chunks;
}

OutputView::Chunk OutputView::chunkAt(qsizetype line, qsizetype offset) const
{
    const std::vector<Chunk> &chunks = chunksOf(line);
    const auto after = std::upper_bound(chunks.begin(), chunks.end(), offset,
                                        [](qsizetype at, const Chunk &c) { return at < c.start; });
    return after == chunks.begin() ? chunks.front() : *(after - 1);
}

OutputView::Chunk OutputView::chunkAtX(qsizetype line, qreal x) const
{
    const std::vector<Chunk> &chunks = chunksOf(line);
    const auto after = std::upper_bound(chunks.begin(), chunks.end(), x,
                                        [](qreal at, const Chunk &c) { return at < c.x; });
    return after == chunks.begin() ? chunks.front() : *(after - 1);
}

QTextLayout &OutputView::layoutOf(const Chunk &chunk) const
{
    auto &slot = m_layouts[chunk.start];
    if (!slot) {
        // Only what is on screen is laid out; a screenful scrolled past is laid out again.
        if (m_layouts.size() > 4096) {
            m_layouts.clear();
            return layoutOf(chunk);
        }
        // Without kerning, a piece is as wide as the advances of its characters, so that the
        // pieces of a long line of Latin text meet where their estimates place them.
        QFont pieceFont = font();
        if (chunk.ofLongLine)
            pieceFont.setKerning(false);
        slot = std::make_unique<QTextLayout>(text().mid(chunk.start, chunk.end - chunk.start),
                                             pieceFont);
        QTextOption option;
        option.setWrapMode(QTextOption::NoWrap);
        option.setAlignment(Qt::AlignLeft | Qt::AlignAbsolute);
        option.setTextDirection(Qt::LayoutDirectionAuto);
        option.setTabStopDistance(m_tabWidth);
        slot->setTextOption(option);
        slot->setCacheEnabled(true);
        slot->beginLayout();
        QTextLine line = slot->createLine();
        line.setLineWidth(UnboundedWidth);
        line.setPosition({0, 0});
        slot->endLayout();
    }
    return *slot;
}

qreal OutputView::xOf(qsizetype offset) const
{
    const qsizetype line = m_content.lineOf(offset);
    const Chunk chunk = chunkAt(line, offset);
    return chunk.x + layoutOf(chunk).lineAt(0).cursorToX(int(offset - chunk.start));
}

qsizetype OutputView::offsetInLine(qsizetype line, qreal x) const
{
    const Chunk chunk = chunkAtX(line, x);
    const QTextLine laidOut = layoutOf(chunk).lineAt(0);
    return chunk.start + laidOut.xToCursor(x - chunk.x, QTextLine::CursorBetweenCharacters);
}

qsizetype OutputView::offsetAt(QPoint point) const
{
    const int row = int(std::floor(qreal(point.y() - Margin) / m_lineHeight));
    const qsizetype line =
        std::clamp<qsizetype>(verticalScrollBar()->value() + row, 0, m_content.lineCount() - 1);
    return offsetInLine(line, point.x() - Margin + horizontalScrollBar()->value());
}

QRect OutputView::characterRect(qsizetype offset) const
{
    offset = std::clamp<qsizetype>(offset, 0, text().size());
    const qsizetype line = m_content.lineOf(offset);
    const QPointF origin = lineOrigin(line);
    const qreal left = xOf(offset);
    const qreal right = offset < m_content.lineEnd(line)
                            ? xOf(m_content.nextCharacter(offset))
                            : left + QFontMetrics(font()).averageCharWidth();
    return QRectF(origin.x() + std::min(left, right), origin.y(), std::abs(right - left),
                  m_lineHeight)
        .toAlignedRect();
}

void OutputView::ensureVisible(qsizetype offset)
{
    const qsizetype line = m_content.lineOf(offset);
    QScrollBar *vertical = verticalScrollBar();
    if (line < vertical->value())
        vertical->setValue(int(line));
    else if (line >= vertical->value() + visibleLines())
        vertical->setValue(int(line - visibleLines() + 1));

    const qreal x = xOf(offset);
    if (x > m_widestLine) { // the estimate fell short of the laid-out line
        m_widestLine = x;
        updateScrollBars();
    }
    QScrollBar *horizontal = horizontalScrollBar();
    const int width = viewport()->width() - 2 * Margin - 1;
    if (x < horizontal->value())
        horizontal->setValue(int(std::floor(x)));
    else if (x > horizontal->value() + width)
        horizontal->setValue(int(std::ceil(x)) - width);
}

void OutputView::paintEvent(QPaintEvent * /*event*/)
{
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::Text));
    const QFontMetricsF metrics(font());
    const int first = verticalScrollBar()->value();
    const qsizetype last =
        std::min<qsizetype>(m_content.lineCount() - 1, first + visibleLines() + 1);
    const qreal left = horizontalScrollBar()->value() - Margin;
    const qreal right = left + viewport()->width();
    const bool cursorShown = hasFocus() && m_cursorShown && !hasSelection();
    const int cursorWidth = style()->pixelMetric(QStyle::PM_TextCursorWidth, nullptr, this);

    QTextCharFormat selected;
    selected.setBackground(palette().brush(QPalette::Highlight));
    selected.setForeground(palette().brush(QPalette::HighlightedText));
    qreal widest = m_widestLine;
    for (qsizetype line = first; line <= last; ++line) {
        const QPointF origin = lineOrigin(line);
        const std::vector<Chunk> &chunks = chunksOf(line);
        for (auto chunk = chunks.begin(); chunk != chunks.end(); ++chunk) {
            const qreal chunkRight = chunk + 1 == chunks.end() ? right : (chunk + 1)->x;
            if (chunkRight < left || chunk->x > right)
                continue;
            QTextLayout &layout = layoutOf(*chunk);
            const QTextLine laidOut = layout.lineAt(0);
            // The line's first font sets the baseline, so that a fallback font lines up.
            const QPointF at(origin.x() + chunk->x,
                             origin.y() + metrics.ascent() - laidOut.ascent());
            QList<QTextLayout::FormatRange> selections;
            const qsizetype from = std::max(selectionStart(), chunk->start);
            const qsizetype to = std::min(selectionEnd(), chunk->end);
            if (from < to)
                selections.append({int(from - chunk->start), int(to - from), selected});
            layout.draw(&painter, at, selections);
            if (cursorShown && m_position >= chunk->start &&
                (m_position < chunk->end ||
                 (m_position == chunk->end && chunk + 1 == chunks.end())))
                layout.drawCursor(&painter, at, int(m_position - chunk->start), cursorWidth);
            widest = std::max(widest, chunk->x + laidOut.naturalTextWidth());
        }
    }
    if (widest > m_widestLine) { // a laid-out line is wider than its estimate
        m_widestLine = widest;
        QMetaObject::invokeMethod(this, &OutputView::updateScrollBars, Qt::QueuedConnection);
    }
}

void OutputView::resizeEvent(QResizeEvent *event)
{
    updateScrollBars();
    QAbstractScrollArea::resizeEvent(event);
    placeNotice();
}

void OutputView::scrollContentsBy(int /*dx*/, int /*dy*/)
{
    viewport()->update();
}

void OutputView::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::FontChange)
        fontChanged();
    QAbstractScrollArea::changeEvent(event);
}

bool OutputView::event(QEvent *event)
{
    // The view's own keys are not a window's shortcuts.
    if (event->type() == QEvent::ShortcutOverride) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->matches(QKeySequence::Copy) || key->matches(QKeySequence::SelectAll)) {
            event->accept();
            return true;
        }
    }
    const bool handled = QAbstractScrollArea::event(event);
    if (event->type() == QEvent::Paint)
        paintBoxFrame(this); // the frame is painted with the view, the text with its viewport
    return handled;
}

void OutputView::selectWordAt(qsizetype offset)
{
    const qsizetype line = m_content.lineOf(offset);
    if (m_content.lineStart(line) == m_content.lineEnd(line))
        return;
    const auto [start, end] = m_content.itemAround(std::min(offset, m_content.lineEnd(line) - 1),
                                                   QTextBoundaryFinder::Word);
    m_goalX = -1;
    changeSelection(start, end);
}

void OutputView::moveCursor(qsizetype offset, bool keepAnchor, bool keepGoalX)
{
    if (!keepGoalX)
        m_goalX = -1;
    changeSelection(keepAnchor ? m_anchor : offset, offset);
    ensureVisible(offset);
    if (keepAnchor)
        offerSelectionToPrimary();
}

void OutputView::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Copy)) {
        copy();
        return;
    }
    if (event->matches(QKeySequence::SelectAll)) {
        selectAll();
        return;
    }

    const std::optional<CaretMove> move = caretMoveFor(event);
    if (!move) {
        event->ignore(); // typing, deleting and pasting do nothing here
        return;
    }
    const qsizetype line = m_content.lineOf(m_position);
    switch (move->step) {
    case CaretMove::Character:
        moveCursor(move->forward ? m_content.nextCharacter(m_position)
                                 : m_content.previousCharacter(m_position),
                   move->select);
        break;
    case CaretMove::Word:
        moveCursor(move->forward ? m_content.nextWord(m_position)
                                 : m_content.previousWord(m_position),
                   move->select);
        break;
    case CaretMove::LineEnd:
        moveCursor(move->forward ? m_content.lineEnd(line) : m_content.lineStart(line),
                   move->select);
        break;
    case CaretMove::TextEnd:
        moveCursor(move->forward ? text().size() : 0, move->select);
        break;
    case CaretMove::Line:
    case CaretMove::Page: {
        const qsizetype lines = move->step == CaretMove::Line ? 1 : visibleLines();
        const qsizetype target = line + (move->forward ? lines : -lines);
        if (m_goalX < 0)
            m_goalX = xOf(m_position);
        if (move->step == CaretMove::Page)
            verticalScrollBar()->setValue(verticalScrollBar()->value() +
                                          int(move->forward ? lines : -lines));
        if (target < 0)
            moveCursor(0, move->select);
        else if (target >= m_content.lineCount())
            moveCursor(text().size(), move->select);
        else
            moveCursor(offsetInLine(target, m_goalX), move->select, true);
        break;
    }
    }
}

void OutputView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const qsizetype offset = offsetAt(event->position().toPoint());
    if (m_tripleClickTimer.isActive()) {
        m_tripleClickTimer.stop();
        const qsizetype line = m_content.lineOf(offset);
        m_goalX = -1;
        changeSelection(m_content.lineStart(line), m_content.lineEnd(line));
        offerSelectionToPrimary();
        return;
    }
    m_dragging = true;
    moveCursor(offset, event->modifiers() & Qt::ShiftModifier);
}

void OutputView::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    selectWordAt(offsetAt(event->position().toPoint()));
    m_tripleClickTimer.start(QApplication::doubleClickInterval(), this);
}

void OutputView::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_dragging || !(event->buttons() & Qt::LeftButton))
        return;
    m_dragPoint = event->position().toPoint();
    extendDragTo(m_dragPoint);
    // Past an edge the view scrolls on its own while the button is held.
    if (viewport()->rect().contains(m_dragPoint))
        m_dragScrollTimer.stop();
    else if (!m_dragScrollTimer.isActive())
        m_dragScrollTimer.start(50, this);
}

void OutputView::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    m_dragging = false;
    m_dragScrollTimer.stop();
    offerSelectionToPrimary();
}

void OutputView::extendDragTo(QPoint point)
{
    m_goalX = -1;
    changeSelection(m_anchor, offsetAt(point));
}

void OutputView::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu menu(this);
    QAction *copyAction = menu.addAction(
        tr("&Copy") + u'\t' + QKeySequence(QKeySequence::Copy).toString(QKeySequence::NativeText));
    copyAction->setEnabled(hasSelection());
    connect(copyAction, &QAction::triggered, this, [this] { copy(); });
    menu.addSeparator();
    QAction *selectAllAction =
        menu.addAction(tr("Select All") + u'\t' +
                       QKeySequence(QKeySequence::SelectAll).toString(QKeySequence::NativeText));
    selectAllAction->setEnabled(!text().isEmpty());
    connect(selectAllAction, &QAction::triggered, this, &OutputView::selectAll);
    menu.exec(event->globalPos());
}

void OutputView::focusInEvent(QFocusEvent *event)
{
    restartBlinking();
    QAbstractScrollArea::focusInEvent(event);
}

void OutputView::focusOutEvent(QFocusEvent *event)
{
    m_blinkTimer.stop();
    viewport()->update();
    QAbstractScrollArea::focusOutEvent(event);
}

void OutputView::restartBlinking()
{
    m_cursorShown = true;
    const int flashTime = QApplication::cursorFlashTime();
    if (hasFocus() && flashTime > 0)
        m_blinkTimer.start(flashTime / 2, this);
    else
        m_blinkTimer.stop();
    viewport()->update();
}

void OutputView::timerEvent(QTimerEvent *event)
{
    if (event->timerId() == m_blinkTimer.timerId()) {
        m_cursorShown = !m_cursorShown;
        viewport()->update(characterRect(m_position).adjusted(-2, 0, 2, 0));
    } else if (event->timerId() == m_dragScrollTimer.timerId()) {
        const QRect area = viewport()->rect();
        QScrollBar *vertical = verticalScrollBar();
        QScrollBar *horizontal = horizontalScrollBar();
        if (m_dragPoint.y() < area.top())
            vertical->setValue(vertical->value() - 1);
        else if (m_dragPoint.y() > area.bottom())
            vertical->setValue(vertical->value() + 1);
        if (m_dragPoint.x() < area.left())
            horizontal->setValue(horizontal->value() - horizontal->singleStep());
        else if (m_dragPoint.x() > area.right())
            horizontal->setValue(horizontal->value() + horizontal->singleStep());
        extendDragTo(m_dragPoint);
    } else if (event->timerId() == m_tripleClickTimer.timerId()) {
        m_tripleClickTimer.stop();
    } else {
        QAbstractScrollArea::timerEvent(event);
    }
}
