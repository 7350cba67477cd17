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
#include <array>
#include <cmath>
#include <vector>

namespace {

// The letter (0 for A) that each UTF-16 unit up to the last one that upper-cases to A-Z
// becomes, or -1; every unit past the table's end is no letter. Found once, by the engine's own
// upper-casing: a few Latin units beyond ASCII (dotless i, long s) are letters too.
const std::vector<qint8> &letterIndex()
{
    static const auto table = [] {
        std::vector<qint8> index(0x10000, -1);
        qsizetype last = 0;
        for (char32_t unit = 0; unit < 0x10000; ++unit) {
            if (QChar::isSurrogate(unit))
                continue;
            const QString upper = SimpleUpperCase(QString(QChar(char16_t(unit))));
            if (upper.size() == 1 && upper[0] >= u'A' && upper[0] <= u'Z') {
                index[unit] = qint8(upper[0].unicode() - u'A');
                last = unit;
            }
        }
        index.resize(size_t(last) + 1);
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
        count += isLineBreak(unit);
    }
    return count;
}

} // namespace

ScrollLink::ScrollLink(TextBox *input, OutputView *output, std::function<QString(QChar)> pieceOf,
                       QObject *parent)
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
    connect(input, &TextBox::updateRequest, this, [=, this](const QRect &, int dy) {
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
    // What each unit that is a letter adds to the output's lines, and whether its entry ends in
    // CR, which a line feed of the input after it joins into one CR LF.
    struct Piece
    {
        qsizetype added = 0;
        bool endsInCr = false;
    };
    std::array<Piece, LetterCount> pieces{};
    for (int letter = 0; letter < LetterCount; ++letter) {
        const QString piece = m_pieceOf(QChar(u'A' + letter));
        pieces[size_t(letter)] = {lineBreaks(piece), piece.endsWith(u'\r')};
    }
    const std::vector<qint8> &letters = letterIndex();
    std::vector<Piece> byUnit(letters.size());
    for (size_t unit = 0; unit < letters.size(); ++unit) {
        if (letters[unit] >= 0)
            byUnit[unit] = pieces[size_t(letters[unit])];
    }
    // The box's text holds a line feed where it has a line break between blocks.
    const QString &text = m_input->text();
    const char16_t *units = reinterpret_cast<const char16_t *>(text.utf16());
    const qsizetype size = text.size();
    LineTable table;
    table.blockStart.push_back(0);
    table.outputStart.push_back(0);
    qsizetype outputLine = 0;
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t unit = units[i];
        if (unit == u'\n' || unit == QChar::LineSeparator) {
            table.outputStart.push_back(++outputLine);
            if (unit == u'\n')
                table.blockStart.push_back(qsizetype(table.outputStart.size()) - 1);
        } else if (unit < byUnit.size() && byUnit[unit].added > 0) {
            outputLine += byUnit[unit].added;
            if (byUnit[unit].endsInCr && i + 1 < size && units[i + 1] == u'\n')
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
