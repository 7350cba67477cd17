// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

// A program that takes the clipboard with the text on its standard input, answers by its exit
// status, and leaves a detached copy of itself to serve the text: the decoder's X11 helper
// (helpercontract.h), or wl-copy. Linux only.
//
// The text goes to the program in a memory file (memfd) rather than down a pipe: a book's worth
// through a pipe of 64 KiB takes hundreds of turns between the two processes, each of which a
// busy machine may delay, where the memory file is read in one go, by the detached copy too if
// the program ends first. The two share the file's offset, which tells how far the program has
// read: one that reads nothing for ExitBudgetMs is given up on, however long its text.
#pragma once

#include <QDeadlineTimer>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <memory>
#include <optional>
#include <span>

QT_BEGIN_NAMESPACE
class QProcess;
QT_END_NAMESPACE

// How long Exit waits on a clipboard that makes no progress: a stuck one is reported within a
// second, where waiting longer would make Exit look hung.
inline constexpr int ExitBudgetMs = 800;

// When Exit gives up on handing over the text: ExitBudgetMs, and more for a longer text, as each
// step of the hand-over reads or copies all of it.
QDeadlineTimer exitDeadline(std::span<const QStringView> text);

class ServingHelper
{
public:
    ServingHelper(const QString &program, const QStringList &arguments,
                  std::span<const QStringView> text);
    ServingHelper(ServingHelper &&) noexcept;
    ~ServingHelper();

    // Waits until the deadline for the answer, and no longer than ExitBudgetMs after the program
    // last read some of the text. Returns why it failed, or an empty string once the program has
    // answered that the clipboard is its own.
    QString answer(QDeadlineTimer deadline);

    // Waits until answerBy for the answer, then lets the program finish on its own, for a
    // clipboard served where it can be that must not hold up the end of the decoder. The
    // decoder ends without deleting the process object, whose destructor would kill the
    // program. Returns whether the program answered in time that the clipboard is its own.
    bool leaveRunning(QDeadlineTimer answerBy);

private:
    std::unique_ptr<QProcess> m_process;
    QString m_name;
    QString m_failure;
    int m_text = -1; // the memory file
};

// Starts the X11 helper with the text; sets failure and gives nothing where it is missing.
std::optional<ServingHelper> startX11Helper(std::span<const QStringView> text, QString &failure,
                                            const QStringList &arguments = {});

// Has the X11 helper take the clipboard with the text, by the deadline; returns why it failed.
QString putWithX11Helper(std::span<const QStringView> text, QDeadlineTimer deadline);
