#include "scrolllink.h"

#include "outputview.h"
#include "substitution.h"

#include <QAbstractTextDocumentLayout>
#include <QAccessible>
#include <QPlainTextEdit>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

// For each UTF-16 unit, the letter (0 for A) it becomes once upper-cased, or -1. Only units of
// the Basic Multilingual Plane upper-case to A-Z.
const std::array<qint8, 0x10000> &letterIndex()
{
    static const auto table = [] {
        std::array<qint8, 0x10000> index{};
        for (char32_t unit = 0; unit < 0x10000; ++unit) {
            index[unit] = -1;
            if (QChar::isSurrogate(unit))
                continue;
            const QString upper = SimpleUpperCase(QString(QChar(char16_t(unit))));
            if (upper.size() == 1 && upper[0] >= u'A' && upper[0] <= u'Z')
                index[unit] = qint8(upper[0].unicode() - u'A');
        }
        return index;
    }();
    return table;
}

// Line breaks as the output box counts them: CR LF is one.
qsizetype lineBreaks(QStringView text)
{
    qsizetype count = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        if (unit == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            continue; // counted at the LF
        count += unit == u'\n' || unit == u'\r' || unit == 0x2028 || unit == 0x2029;
    }
    return count;
}

} // namespace

ScrollLink::ScrollLink(QPlainTextEdit *input, OutputView *output,
                       std::function<QString(QChar)> pieceOf, QObject *parent)
    : QObject(parent)
    , m_input(input)
    , m_output(output)
    , m_pieceOf(std::move(pieceOf))
{
    QScrollBar *inputVertical = input->verticalScrollBar();
    QScrollBar *inputSideways = input->horizontalScrollBar();
    QScrollBar *outputVertical = output->verticalScrollBar();
    QScrollBar *outputSideways = output->horizontalScrollBar();
    connect(inputVertical, &QScrollBar::valueChanged, this,
            [=, this] { scrolled(inputVertical, outputVertical, true, true); });
    // The input box moves its own scroll bar with its signals blocked when keys, typing or the
    // caret scroll it; what it reports then is a repaint of its area scrolled by dy pixels.
    connect(input, &QPlainTextEdit::updateRequest, this, [=, this](const QRect &, int dy) {
        if (dy != 0)
            scrolled(inputVertical, outputVertical, true, true);
    });
    connect(outputVertical, &QScrollBar::valueChanged, this,
            [=, this] { scrolled(outputVertical, inputVertical, true, false); });
    connect(inputSideways, &QScrollBar::valueChanged, this,
            [=, this] { scrolled(inputSideways, outputSideways, false, true); });
    connect(outputSideways, &QScrollBar::valueChanged, this,
            [=, this] { scrolled(outputSideways, inputSideways, false, false); });
    // A changed text or range moves the other box to where the leading one stands.
    connect(input->document(), &QTextDocument::contentsChange, this, [this] {
        m_table.reset();
        m_outputBehind = true;
    });
    connect(output, &OutputView::textChanged, this, [this] {
        m_table.reset();
        m_outputBehind = false;
        followLeader();
    });
    for (QScrollBar *bar : {inputVertical, inputSideways, outputVertical, outputSideways}) {
        connect(bar, &QScrollBar::rangeChanged, this, &ScrollLink::followLeader);
        connect(bar, &QScrollBar::actionTriggered, this, [this] { m_followAtOnce = true; });
    }
    m_verticalLater.setSingleShot(true);
    connect(&m_verticalLater, &QTimer::timeout, this, [=, this] {
        m_outputBehind = false; // the edit that scrolled the input has been handled
        if (m_outputLeads)
            follow(outputVertical, inputVertical, true, false);
        else
            follow(inputVertical, outputVertical, true, true);
    });
    m_sidewaysLater.setSingleShot(true);
    m_sidewaysLater.setInterval(SidewaysPauseMs);
    connect(&m_sidewaysLater, &QTimer::timeout, this, [=, this] {
        const QScopedValueRollback atOnce(m_followAtOnce, true);
        if (m_outputLeads)
            follow(outputSideways, inputSideways, false, false);
        else
            follow(inputSideways, outputSideways, false, true);
    });
}

ScrollLink::~ScrollLink() = default;

void ScrollLink::scrolled(QScrollBar *leader, QScrollBar *follower, bool vertical, bool fromInput)
{
    if (m_following)
        return;
    m_outputLeads = !fromInput;
    follow(leader, follower, vertical, fromInput);
    m_followAtOnce = false;
}

void ScrollLink::followLeader()
{
    QScrollBar *inputVertical = m_input->verticalScrollBar();
    QScrollBar *inputSideways = m_input->horizontalScrollBar();
    QScrollBar *outputVertical = m_output->verticalScrollBar();
    QScrollBar *outputSideways = m_output->horizontalScrollBar();
    if (m_outputLeads) {
        follow(outputVertical, inputVertical, true, false);
        follow(outputSideways, inputSideways, false, false);
    } else {
        follow(inputVertical, outputVertical, true, true);
        follow(inputSideways, outputSideways, false, true);
    }
}

void ScrollLink::follow(QScrollBar *leader, QScrollBar *follower, bool vertical, bool fromInput)
{
    if (m_following)
        return;
    if (!vertical && !m_followAtOnce && QAccessible::isActive()) {
        m_sidewaysLater.start(); // again: the caret is still moving
        return;
    }
    // Finding where each input line starts reads the whole input: not in the middle of an edit,
    // when the output is still the old one (a paste scrolls the input before the output is
    // recomputed), but once the event loop comes round again.
    if (vertical && m_outputBehind && !m_table && !linesCorrespond()) {
        m_verticalLater.start();
        return;
    }
    const QScopedValueRollback following(m_following, true);
    if (vertical) {
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
    return m_output->lineCount() == m_input->document()->blockCount();
}

const ScrollLink::LineTable &ScrollLink::lineTable() const
{
    if (m_table)
        return *m_table;
    std::array<qsizetype, LetterCount> added{};
    std::array<bool, LetterCount> endsInCr{};
    for (int letter = 0; letter < LetterCount; ++letter) {
        const QString piece = m_pieceOf(QChar(u'A' + letter));
        added[letter] = lineBreaks(piece);
        endsInCr[letter] = piece.endsWith(u'\r');
    }
    // The box's blocks end in paragraph separators here; each becomes a line feed in the output.
    const QString text = m_input->document()->toRawText();
    const auto &letters = letterIndex();
    LineTable table;
    table.blockStart.push_back(0);
    table.outputStart.push_back(0);
    qsizetype outputLine = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        if (unit == QChar::ParagraphSeparator || unit == QChar::LineSeparator) {
            table.outputStart.push_back(++outputLine);
            if (unit == QChar::ParagraphSeparator)
                table.blockStart.push_back(qsizetype(table.outputStart.size()) - 1);
        } else if (const int letter = letters[unit]; letter >= 0) {
            outputLine += added[size_t(letter)];
            if (endsInCr[size_t(letter)] && i + 1 < text.size() &&
                text[i + 1] == QChar::ParagraphSeparator)
                --outputLine; // the entry's CR and the input's line feed make one CR LF
        }
    }
    m_table = std::move(table);
    return *m_table;
}

qsizetype ScrollLink::outputLineOf(int inputLine) const
{
    if (linesCorrespond())
        return inputLine;
    const LineTable &table = lineTable();
    const QTextBlock block = m_input->document()->findBlockByLineNumber(inputLine);
    const auto number = size_t(std::max(0, block.blockNumber()));
    const qsizetype first = table.blockStart[number];
    const qsizetype last = number + 1 < table.blockStart.size()
                               ? table.blockStart[number + 1] - 1
                               : qsizetype(table.outputStart.size()) - 1;
    const qsizetype line = std::min(first + inputLine - block.firstLineNumber(), last);
    return table.outputStart[size_t(line)];
}

int ScrollLink::inputLineOf(qsizetype outputLine) const
{
    if (linesCorrespond())
        return int(outputLine);
    const LineTable &table = lineTable();
    const auto &starts = table.outputStart;
    const qsizetype line =
        std::upper_bound(starts.begin(), starts.end(), outputLine) - starts.begin() - 1;
    const auto &blocks = table.blockStart;
    const qsizetype number =
        std::upper_bound(blocks.begin(), blocks.end(), line) - blocks.begin() - 1;
    const QTextBlock block = m_input->document()->findBlockByNumber(int(number));
    const qsizetype inBlock = line - blocks[size_t(number)];
    // The box counts a block's lines once it has laid the block out.
    if (inBlock > 0)
        m_input->document()->documentLayout()->blockBoundingRect(block);
    return block.firstLineNumber() + int(std::min<qsizetype>(inBlock, block.lineCount() - 1));
}
