// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "outputannouncer.h"

#include "outputview.h"
#include "substitution.h"

#include <QAccessible>
#include <QApplication>
#include <QWidget>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// Before the change, so that the words around it are heard too.
constexpr qsizetype LeadIn = 20;

} // namespace

OutputAnnouncer::OutputAnnouncer(OutputView *output, std::vector<const QWidget *> typedIn,
                                 QWidget *window)
    : QObject(window)
    , m_output(output)
    , m_typedIn(std::move(typedIn))
{
    m_pause.setSingleShot(true);
    m_clock.start();
    connect(&m_pause, &QTimer::timeout, this, &OutputAnnouncer::pauseEnded);
#if QT_VERSION < QT_VERSION_CHECK(6, 8, 0)
    m_notice = new QWidget(window);
    m_notice->setObjectName(QString::fromUtf16(NoticeName));
    m_notice->setGeometry(0, 0, 1, 1); // paints nothing: a plain widget has no background
    m_notice->setFocusPolicy(Qt::NoFocus);
    m_notice->hide();
    m_noticeShown.setSingleShot(true);
    m_noticeShown.setInterval(NoticeMs);
    connect(&m_noticeShown, &QTimer::timeout, m_notice, &QWidget::hide);
#endif
}

OutputAnnouncer::~OutputAnnouncer() = default;

// Changes follow each other while typing goes on; what is waiting to be said is the whole
// region they touched, which later changes move or widen.
void OutputAnnouncer::outputChanged(const ChangedSpan &span)
{
    if (m_changedFrom < 0) {
        m_changedFrom = span.start;
        m_changedTo = span.afterEnd;
    } else {
        m_changedFrom = std::min(span.moved(m_changedFrom, span.start), span.start);
        m_changedTo = std::max(span.moved(m_changedTo, span.afterEnd), span.afterEnd);
    }
    const qint64 now = m_clock.elapsed();
    while (!m_recent.empty() && m_recent.front() <= now - RecentMs)
        m_recent.pop_front();
    m_recent.push_back(now);
    m_pause.start(PauseMs + CatchUpMs * int(m_recent.size() - 1));
}

void OutputAnnouncer::pauseEnded()
{
    const qsizetype from = std::exchange(m_changedFrom, -1);
    const qsizetype to = std::exchange(m_changedTo, -1);
    const QWidget *focus = QApplication::focusWidget();
    if (from < 0 || std::find(m_typedIn.begin(), m_typedIn.end(), focus) == m_typedIn.end())
        return;
    const OutputText &output = m_output->content();
    qsizetype first = output.lineOf(from);
    // A line break typed at the end of a line leaves that line's text as it was.
    if (to > from && from == output.lineEnd(first) && first + 1 < output.lineCount())
        ++first;
    const qsizetype last = std::max(first, output.lineOf(std::max(from, to - 1)));
    const qsizetype start = output.lineStart(first);
    const qsizetype end = output.lineEnd(first);
    const QString words = announcementOf(QStringView(output.text()).mid(start, end - start), first,
                                         output.lineCount(), std::max(from, start) - start,
                                         std::clamp(to, start, end) - start, last - first);
    if (words != m_announced)
        announce(words);
}

QString OutputAnnouncer::firstLine() const
{
    const OutputText &output = m_output->content();
    return announcementOf(QStringView(output.text()).left(output.lineEnd(0)), 0, output.lineCount(),
                          0, 0, 0);
}

void OutputAnnouncer::announce(const QString &words, Urgency urgency)
{
    m_announced = words;
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
    QAccessibleAnnouncementEvent event(m_output, words);
    if (urgency == Urgency::Assertive)
        event.setPoliteness(QAccessible::AnnouncementPoliteness::Assertive);
    QAccessible::updateAccessibility(&event);
#else
    Q_UNUSED(urgency) // a notification that appears is said at once
    m_notice->setAccessibleName(words);
    // Appearing is what the screen reader announces.
    m_notice->hide();
    m_notice->show();
    m_noticeShown.start();
#endif
    Q_EMIT announced(words);
}

QString announcementOf(QStringView line, qsizetype lineNumber, qsizetype lineCount, qsizetype from,
                       qsizetype to, qsizetype moreLines)
{
    QString words =
        lineCount > 1 ? u"Applied text line %1: "_s.arg(lineNumber + 1) : u"Applied text: "_s;
    if (line.isEmpty()) {
        words += lineCount > 1 ? u"blank"_s : u"empty"_s;
    } else if (line.size() <= AnnouncedLength) {
        words += line;
    } else {
        // The change with a few words before it, or the end of a change too long to read whole,
        // cut between characters.
        const qsizetype wanted =
            to - from <= AnnouncedLength - LeadIn ? from - LeadIn : to - AnnouncedLength;
        qsizetype start = std::clamp<qsizetype>(wanted, 0, line.size() - AnnouncedLength);
        if (cutBetweenCharacters(line, start) != start)
            ++start; // past the pair rather than before it, to stay within the length
        const qsizetype end =
            cutBetweenCharacters(line, std::min(start + AnnouncedLength, line.size()));
        words += (start > 0 ? u"…"_s : QString()) + line.mid(start, end - start) +
                 (end < line.size() ? u"…"_s : QString());
    }
    if (moreLines > 0)
        words += moreLines == 1 ? u"; 1 more line changed"_s
                                : u"; %1 more lines changed"_s.arg(moreLines);
    return words;
}
