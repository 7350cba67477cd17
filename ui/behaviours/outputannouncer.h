// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Lets a screen reader tell the user what the output has become while they type elsewhere.
//
// A screen reader speaks what happens to the control that has the focus, and the output changes
// at every keystroke in a key box or the input, where the focus is. So, once typing pauses, the
// announcer says which line of the output changed and how it reads now: one announcement however
// fast the typing, none while the output stays the same, never a line that did not change. The
// clear buttons announce their result at once.
//
// From Qt 6.8 the toolkit sends announcements to assistive technologies. Qt 6.4 can neither
// announce nor mark the output as a live region (and it sends a changed name in a form that Orca
// cannot speak); what Orca speaks at once, wherever the focus is, is a notification that appears.
// So there an invisible notification with the words appears, and hides again soon after, so that
// nothing stays behind in a screen reader's review of the window.
#pragma once

#include "changedspan.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringView>
#include <QTimer>

#include <deque>
#include <vector>

QT_BEGIN_NAMESPACE
class QWidget;
QT_END_NAMESPACE

class OutputView;

class OutputAnnouncer : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(OutputAnnouncer)

public:
    // Changes made while the focus is in one of typedIn are announced, as coming from output;
    // the notification, where there is one, is a child of window that paints nothing.
    OutputAnnouncer(OutputView *output, std::vector<const QWidget *> typedIn, QWidget *window);
    ~OutputAnnouncer() override;

    // The output changed over span: announce the changed line once typing pauses.
    void outputChanged(const ChangedSpan &span);
    // How a screen reader is to fit an announcement among what else it has to say: Polite
    // waits its turn; Assertive goes before what it was given at the same time (Orca 51 says the
    // focused control of a window that has just opened before a polite announcement sent with it).
    enum class Urgency { Polite, Assertive };
    // Announces words now.
    void announce(const QString &words, Urgency urgency = Urgency::Polite);
    // The words for the output's first line, or for an empty output.
    QString firstLine() const;

    // How long typing must pause before the output is announced.
    static constexpr int PauseMs = 400;
    // And, after fast typing, longer by this much for each change of the last RecentMs: every
    // keystroke sends the screen reader events of its own (the typed text, the caret), which it
    // handles one after another, and Orca drops a notification that arrives while more than 100
    // of them wait. So the announcement comes once the screen reader has had time to catch up.
    static constexpr int CatchUpMs = 15;
    static constexpr int RecentMs = 2000;
    // How long the notification stays after it has appeared.
    static constexpr int NoticeMs = 2000;

    // The object name of the notification, which assistive technologies see in that role.
    static constexpr char16_t NoticeName[] = u"outputNotice";

Q_SIGNALS:
    // Words were announced.
    void announced(const QString &words);

private:
    void pauseEnded();

    OutputView *m_output = nullptr;
    std::vector<const QWidget *> m_typedIn;
    QTimer m_pause;
    QElapsedTimer m_clock;
    std::deque<qint64> m_recent; // when the changes of the last RecentMs came, on m_clock
    // Where the output changed since the last announcement, in its current text; empty when
    // nothing is waiting.
    qsizetype m_changedFrom = -1;
    qsizetype m_changedTo = -1;
    QString m_announced; // what was said last
    QWidget *m_notice = nullptr;
    QTimer m_noticeShown;
};

// The longest part of a line an announcement reads, in characters.
inline constexpr int AnnouncedLength = 80;

// What an announcement says of a line of the output: "Applied text", the line's number where the
// output has more than one line, and at most AnnouncedLength characters of the line around the
// columns [from, to) that changed (their end where they are wider), with "…" where it was cut
// ("empty" for an empty output, "blank" for an empty line); then how many more lines changed.
QString announcementOf(QStringView line, qsizetype lineNumber, qsizetype lineCount, qsizetype from,
                       qsizetype to, qsizetype moreLines);
