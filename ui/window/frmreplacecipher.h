// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The decoder's one window: 26 key boxes under the letters A to Z, the input box, the read-only
// output box and three buttons, placed by the layout table (layout.h).
//
// The controls are the model: every handler reads what it needs from them and writes its result
// back into them. Each change of a key box or of the input recomputes the output with the
// substitution engine and hands it, with where its lines start, to the boxes and behaviours
// below; Exit hands the output and the key to a ClipboardExport and ends. Nothing below the
// window calls back into it.
//
// The names come from the decoder's design, and a newcomer may wonder at some of them:
// - frmReplaceCipher, txtLetter, txtInput, cmdExit ...: a prefix for the kind of control (frm
//   window, txt text box, lbl label, cmd push button), then its role.
// - Label1, Label2, Label3: the three captions (the instruction, and the captions of the input
//   and the output), which keep the names of plain captions.
// - txtLetter and lblCapA are control arrays: 26 controls indexed 1 to 26, index k belonging to
//   the k-th letter (ControlArray below).
// - Form_Load, txtLetter_Change, txtInput_Change, cmdClearKeyword_Click ...: each handler is
//   named after its control and event. txtLetter_Change receives the index of the key box that
//   changed, and ignores it: any change recomputes the whole output.
// - The layout table gives the geometry in twips, 15 to a pixel at 96 dots per inch.
#pragma once

#include "clipboardexport.h"
#include "outputlimit.h"
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

// A row of 26 controls, one for each letter, indexed 1 to 26.
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
    // to be shown. Exit goes to the system clipboard, and the output is cut where memory would
    // run short (outputLimitByMemory), unless the setters below say otherwise.
    explicit frmReplaceCipher(QWidget *parent = nullptr);
    ~frmReplaceCipher() override;

    // Where Exit puts its text and how it ends the program.
    void setClipboardExport(std::unique_ptr<ClipboardExport> clipboardExport);
    // Where the output is cut; it is shown, announced and exported as cut, and says so.
    void setOutputLimit(OutputLimit outputLimit);

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
    QString appliedText(const ReplaceKey &key);
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
    OutputLimit m_outputLimitOf;
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
    qsizetype m_wholeLength = 0;
};
