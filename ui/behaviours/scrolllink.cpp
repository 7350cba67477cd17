// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "scrolllink.h"

#include "outputview.h"
#include "substitution.h"
#include "textbox.h"

#include <QAbstractTextDocumentLayout>
#include <QAccessible>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>

#include <algorithm>
#include <cmath>

ScrollLink::ScrollLink(TextBox *input, OutputView *output, QObject *parent)
    : QObject(parent)
    , m_input(input)
    , m_output(output)
{
    for (const Box box : {Box::Input, Box::Output}) {
        for (const Axis axis : {Axis::Vertical, Axis::Sideways}) {
            QScrollBar *bar = scrollBar(box, axis);
            connect(bar, &QScrollBar::valueChanged, this,
                    [this, box, axis] { scrolledByUser(box, axis); });
            // A changed range moves the other box to where the leading one stands.
            connect(bar, &QScrollBar::rangeChanged, this, &ScrollLink::alignBoth);
            connect(bar, &QScrollBar::actionTriggered, this, [this] { m_followAtOnce = true; });
        }
    }
    // The input box moves its own scroll bar with its signals blocked when keys, typing or the
    // caret scroll it; what it reports then is a repaint of its area scrolled by dy pixels.
    connect(input, &TextBox::updateRequest, this, [this](const QRect &, int dy) {
        if (dy != 0)
            scrolledByUser(Box::Input, Axis::Vertical);
    });
    // A changed text moves the other box to where the leading one stands, once the output has
    // followed the input (outputChanged).
    connect(input->document(), &QTextDocument::contentsChange, this, [this] {
        m_blockStarts.reset();
        m_outputBehind = true;
    });
    m_sidewaysLater.setSingleShot(true);
    m_sidewaysLater.setInterval(SidewaysPauseMs);
    connect(&m_sidewaysLater, &QTimer::timeout, this, [this] {
        const QScopedValueRollback atOnce(m_followAtOnce, true);
        alignFollower(Axis::Sideways);
    });
}

ScrollLink::~ScrollLink() = default;

void ScrollLink::outputChanged(std::vector<qsizetype> outputLineStarts)
{
    m_outputStarts = std::move(outputLineStarts);
    m_outputBehind = false;
    alignBoth();
}

QScrollBar *ScrollLink::scrollBar(Box box, Axis axis) const
{
    const QAbstractScrollArea *area =
        box == Box::Input ? static_cast<QAbstractScrollArea *>(m_input) : m_output;
    return axis == Axis::Vertical ? area->verticalScrollBar() : area->horizontalScrollBar();
}

void ScrollLink::scrolledByUser(Box box, Axis axis)
{
    if (m_aligning)
        return;
    m_leader = box;
    alignFollower(axis);
    m_followAtOnce = false;
}

void ScrollLink::alignBoth()
{
    alignFollower(Axis::Vertical);
    alignFollower(Axis::Sideways);
}

void ScrollLink::alignFollower(Axis axis)
{
    if (m_aligning)
        return;
    if (axis == Axis::Sideways && !m_followAtOnce && QAccessible::isActive()) {
        m_sidewaysLater.start(); // again: the caret is still moving
        return;
    }
    // In the middle of an edit the output, and where its lines start, are still the old ones (a
    // paste scrolls the input before the output is recomputed); outputChanged aligns the boxes.
    if (axis == Axis::Vertical && m_outputBehind && !linesCorrespond())
        return;
    const bool fromInput = m_leader == Box::Input;
    QScrollBar *leader = scrollBar(m_leader, axis);
    QScrollBar *follower = scrollBar(fromInput ? Box::Output : Box::Input, axis);
    const QScopedValueRollback aligning(m_aligning, true);
    if (axis == Axis::Vertical) {
        follower->setValue(
            fromInput ? int(std::min<qsizetype>(outputLineOf(leader->value()), follower->maximum()))
                      : inputLineOf(leader->value()));
        return;
    }
    // Sideways, the same fraction of the range: entries of several letters make output lines
    // longer than their input lines.
    follower->setValue(
        leader->maximum() > 0
            ? int(std::lround(double(leader->value()) * follower->maximum() / leader->maximum()))
            : 0);
}

// An input without line separators, under a key whose entries add no line break, has as many
// lines as the output, and only then: a line separator or an added line break makes the output
// longer, and where an entry ends in CR before a line break of the input, the two make one CR LF.
bool ScrollLink::linesCorrespond() const
{
    return m_outputStarts.empty() &&
           m_output->content().lineCount() == m_input->document()->blockCount();
}

// The box's text separates its blocks with line feeds, and a block's lines with line separators.
const std::vector<qsizetype> &ScrollLink::blockStarts() const
{
    if (m_blockStarts)
        return *m_blockStarts;
    std::vector<qsizetype> starts{0};
    qsizetype line = 0;
    for (const QChar unit : m_input->text()) {
        line += isLineBreak(unit.unicode());
        if (unit == u'\n')
            starts.push_back(line);
    }
    m_blockStarts = std::move(starts);
    return *m_blockStarts;
}

qsizetype ScrollLink::outputStartOf(qsizetype inputLine) const
{
    return m_outputStarts.empty() ? inputLine : m_outputStarts[size_t(inputLine)];
}

qsizetype ScrollLink::outputLineOf(int inputLine) const
{
    if (linesCorrespond())
        return inputLine;
    const std::vector<qsizetype> &blocks = blockStarts();
    const QTextBlock block = m_input->document()->findBlockByLineNumber(inputLine);
    const auto number = size_t(std::max(0, block.blockNumber()));
    const qsizetype lastLine = m_outputStarts.empty() ? m_output->content().lineCount() - 1
                                                      : qsizetype(m_outputStarts.size()) - 1;
    const qsizetype first = blocks[number];
    const qsizetype last = number + 1 < blocks.size() ? blocks[number + 1] - 1 : lastLine;
    return outputStartOf(std::min(first + inputLine - block.firstLineNumber(), last));
}

int ScrollLink::inputLineOf(qsizetype outputLine) const
{
    if (linesCorrespond())
        return int(outputLine);
    const auto &starts = m_outputStarts;
    const qsizetype line =
        starts.empty()
            ? std::min(outputLine, m_output->content().lineCount() - 1)
            : std::upper_bound(starts.begin(), starts.end(), outputLine) - starts.begin() - 1;
    const std::vector<qsizetype> &blocks = blockStarts();
    const qsizetype number =
        std::upper_bound(blocks.begin(), blocks.end(), line) - blocks.begin() - 1;
    const QTextBlock block = m_input->document()->findBlockByNumber(int(number));
    const qsizetype inBlock = line - blocks[size_t(number)];
    // The box counts a block's lines once it has laid the block out.
    if (inBlock > 0)
        m_input->document()->documentLayout()->blockBoundingRect(block);
    return block.firstLineNumber() + int(std::min<qsizetype>(inBlock, block.lineCount() - 1));
}
