// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

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
// out, or a key entry holds a line break and adds output lines. For the latter the window hands
// the link, at each recompute, the output line on which each input line starts.
#pragma once

#include <QObject>
#include <QTimer>

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
    ScrollLink(TextBox *input, OutputView *output, QObject *parent = nullptr);
    ~ScrollLink() override;

    // The output was recomputed: for each input line, the output line it starts on, or nothing
    // where each input line is one output line. The boxes are aligned again.
    void outputChanged(std::vector<qsizetype> outputLineStarts);

private:
    enum class Box { Input, Output };
    enum class Axis { Vertical, Sideways };

    QScrollBar *scrollBar(Box box, Axis axis) const;
    bool linesCorrespond() const;
    const std::vector<qsizetype> &blockStarts() const;
    qsizetype outputStartOf(qsizetype inputLine) const;
    // The output line that corresponds to the input box's line number (as its vertical scroll
    // bar counts lines), and the input box's line number for an output line.
    qsizetype outputLineOf(int inputLine) const;
    int inputLineOf(qsizetype outputLine) const;
    void scrolledByUser(Box box, Axis axis);
    void alignFollower(Axis axis);
    void alignBoth();

    TextBox *m_input = nullptr;
    OutputView *m_output = nullptr;
    // The output line that starts each input line; empty where they are the same.
    std::vector<qsizetype> m_outputStarts;
    // The input line, counted at every line break, that starts each of the input box's blocks;
    // found from the input's text when first needed after a change.
    mutable std::optional<std::vector<qsizetype>> m_blockStarts;
    static constexpr int SidewaysPauseMs = 250;
    // The box the user scrolled last: the other follows it, also when either text changes.
    Box m_leader = Box::Input;
    // Set while the follower's scroll bar is moved. That move reports a scroll of the follower
    // itself; handled, it would make the follower the leader and move the leader back to the
    // line that the reverse map gives, which differs where entries add lines, and the two boxes
    // would chase each other.
    bool m_aligning = false;
    // A scroll bar's own action is under way, or typing paused: sideways moves follow at once.
    bool m_followAtOnce = false;
    QTimer m_sidewaysLater;
    // The input changed and the output has not yet followed.
    bool m_outputBehind = false;
};
