// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The decoder's one window: 26 key boxes under the letters A to Z, the input box, the read-only
// output box and three buttons, placed by the layout table (layout.h).
//
// The controls are the model: every handler reads what it needs from them and writes its
// result back into them. Each change of a key box or of the input recomputes the output with
// the substitution engine; Exit hands the output and the key to a ClipboardExport and ends.
//
// Collaborators: Layout (geometry and captions), ApplyKey and friends (substitution.h); the
// widgets KeyBox, TextBox and OutputView; the behaviours ScrollLink (which keeps the input and
// the output on the same lines, told the key at each recompute), OutputAnnouncer (what a screen
// reader hears of the output) and installAccessibleInterfaces (accessibility.h); and the
// ClipboardExport (clipboardexport.h). Each is handed what it needs: none calls back.
#pragma once

#include "clipboardexport.h"
#include "substitution.h"

#include <QWidget>

#include <array>
#include <memory>
#include <vector>

QT_BEGIN_NAMESPACE
class QLabel;
QT_END_NAMESPACE

class KeyBox;
class OutputAnnouncer;
class OutputView;
class ScrollLink;
class TextBox;
class WrappingPushButton;

// A row of 26 controls, one for each letter, indexed 1 to 26 like the design's control arrays.
template <typename Control> class ControlArray
{
public:
    Control *operator()(int index) const { return m_members.at(index - 1); }
    void set(int index, Control *control) { m_members.at(index - 1) = control; }
    auto begin() const { return m_members.begin(); }
    auto end() const { return m_members.end(); }

private:
    std::array<Control *, 26> m_members{};
};

class frmReplaceCipher : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmReplaceCipher)

public:
    // Builds the window from the layout table and runs its load handler, so that it is ready
    // to be shown. Exit goes to the system clipboard unless setClipboardExport says otherwise.
    explicit frmReplaceCipher(QWidget *parent = nullptr);
    ~frmReplaceCipher() override;

    // Replaces where Exit puts its text and how it ends the program (tests use their own).
    void setClipboardExport(std::unique_ptr<ClipboardExport> clipboardExport);

    // Entries of many characters multiply a text's length without bound: a hundred thousand
    // lines under an entry of a hundred thousand characters make ten billion. The window cuts
    // the output where it would no longer fit in the memory the system can give, and says so in
    // the output box, to a screen reader and at Exit; ordinary keys never come near it. Tests set
    // a limit of their own; 0 goes back to the one that memory sets.
    void setOutputLimit(qsizetype limit);

protected:
    void changeEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createControls();
    void fitText();
    void setBoxBackgrounds();
    bool undoKeyClear(bool redo);
    void describeForAssistiveTechnologies();
    void connectHandlers();
    void windowStateRequested(Qt::WindowState state);
    void fixSizeOnceNormal();

    // The handlers, one for each control event the window reacts to.
    void Form_Load();
    void txtLetter_Change(int Index);
    void txtInput_Change();
    void cmdClearInput_Click();
    void cmdClearKeyword_Click();
    void cmdExit_Click();

    KeyEntries keyEntries() const;
    qsizetype outputLimitNow() const;
    QString appliedText(const KeyEntries &entries);
    void showOutput(const QString &output);
    void showWhetherCut();

    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr;
    ControlArray<QLabel> lblCapA;
    ControlArray<KeyBox> txtLetter;
    TextBox *txtInput = nullptr;
    OutputView *txtOutput = nullptr;
    WrappingPushButton *cmdClearKeyword = nullptr;
    WrappingPushButton *cmdClearInput = nullptr;
    WrappingPushButton *cmdExit = nullptr;

    std::unique_ptr<ClipboardExport> m_clipboardExport;
    // Set while a handler empties or restores several boxes, so that their changes recompute
    // only once.
    bool m_batchingChanges = false;
    // The key boxes the last Clear Keyword emptied, while undo in a key box restores them all
    // (or, once restored, redo empties them again); empty once a key box is edited.
    std::vector<int> m_clearedKeys;
    bool m_clearUndone = false;
    OutputAnnouncer *m_announcer = nullptr;
    bool m_instructionSaid = false;
    ScrollLink *m_scrollLink = nullptr;
    // The longest output shown, and the length of the whole output where the one shown is cut
    // (0 where it is whole).
    qsizetype m_outputLimit = 0;
    qsizetype m_testOutputLimit = 0;
    qsizetype m_wholeLength = 0;
};
