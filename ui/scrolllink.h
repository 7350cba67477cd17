// Keeps the input box and the output box on the same lines, so that a solver reads each cipher
// line against its plain line. Scrolling either box (wheel, scroll bar, keys, typing, a paste, a
// moving caret) scrolls the other so that its first visible line is the corresponding line, and
// sideways to the same fraction of its range. Neither box's text, caret, selection or focus
// changes.
//
// With a screen reader running, the other box follows a sideways move that the caret made (as
// typing at the end of a long line does, a character at a time) once typing pauses: each move of
// a scroll bar is an event for the screen reader, and a keystroke must not cost it more than the
// input's own. A scroll bar that the user moves is followed at once.
//
// Each input line becomes one output line, so the lines correspond one to one unless the input
// holds a line separator (U+2028), which the input box counts only once it has laid that line
// out, or a key entry holds a line break and adds output lines. Then the link finds, once after
// each change, the output line on which each input line starts.
#pragma once

#include <QObject>
#include <QTimer>

#include <functional>
#include <optional>
#include <vector>

QT_BEGIN_NAMESPACE
class QScrollBar;
QT_END_NAMESPACE

class OutputView;
class TextBox;

class ScrollLink : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ScrollLink)

public:
    // pieceOf gives what the output holds in place of a letter, A to Z, of the input.
    ScrollLink(TextBox *input, OutputView *output, std::function<QString(QChar letter)> pieceOf,
               QObject *parent = nullptr);
    ~ScrollLink() override;

    // The output line that corresponds to the input box's line number (as its vertical scroll
    // bar counts lines), and the input box's line number for an output line.
    qsizetype outputLineOf(int inputLine) const;
    int inputLineOf(qsizetype outputLine) const;

private:
    // Where each input line starts in the output, where that is not the same line number.
    struct LineTable
    {
        std::vector<qsizetype> blockStart;  // the input line that starts each block
        std::vector<qsizetype> outputStart; // the output line that starts each input line
    };

    bool linesCorrespond() const;
    const LineTable &lineTable() const;
    void scrolled(QScrollBar *leader, QScrollBar *follower, bool vertical, bool fromInput);
    void follow(QScrollBar *leader, QScrollBar *follower, bool vertical, bool fromInput);
    void followLeader();

    TextBox *m_input = nullptr;
    OutputView *m_output = nullptr;
    std::function<QString(QChar)> m_pieceOf;
    mutable std::optional<LineTable> m_table;
    static constexpr int SidewaysPauseMs = 250;
    bool m_following = false;
    // A scroll bar's own action is under way, or typing paused: sideways moves follow at once.
    bool m_followAtOnce = false;
    QTimer m_sidewaysLater;
    QTimer m_verticalLater;
    // The input changed and the output has not yet followed.
    bool m_outputBehind = false;
    // The box the user scrolled last stays where it is when either text changes.
    bool m_outputLeads = false;
};
