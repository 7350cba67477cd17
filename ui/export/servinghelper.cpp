// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "servinghelper.h"

#include "helpercontract.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStringEncoder>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

// How much of the text is turned into UTF-8 at a time, in characters.
constexpr qsizetype TextPiece = qsizetype(1) << 20;
// How much more text each millisecond past ExitBudgetMs allows for: every step of the
// hand-over copies the text at a few hundred characters a microsecond on a quiet machine.
constexpr qsizetype CharactersPerMs = 40'000;
// How often the wait for an answer looks at how far the program has read.
constexpr int PollMs = 20;

// The X11 helper, beside the program or in the libexec folder of an installation.
QString x11HelperPath()
{
    const QDir programFolder(QCoreApplication::applicationDirPath());
    for (const char *path : {ClipboardHelper::ProgramName, ClipboardHelper::InstalledPath}) {
        const QString candidate = programFolder.filePath(QString::fromLatin1(path));
        if (QFileInfo(candidate).isExecutable())
            return QDir::cleanPath(candidate);
    }
    return {};
}

// Writes the text as UTF-8 into a new memory file, a piece at a time, and sets its offset back
// to the start; returns the file, or -1 with errno set.
int memoryFileOf(std::span<const QStringView> text)
{
    const int file = memfd_create("vellumtide-export", MFD_CLOEXEC);
    if (file < 0)
        return -1;
    const auto fail = [file](int error) {
        ::close(file);
        errno = error;
        return -1;
    };
    QStringEncoder toUtf8(QStringEncoder::Utf8);
    for (const QStringView part : text) {
        for (qsizetype from = 0; from < part.size(); from += TextPiece) {
            // The encoder carries a surrogate pair split between two pieces over.
            const QByteArray piece = toUtf8(part.mid(from, TextPiece));
            for (qsizetype written = 0; written < piece.size();) {
                const ssize_t wrote =
                    ::write(file, piece.constData() + written, size_t(piece.size() - written));
                if (wrote < 0 && errno == EINTR)
                    continue;
                if (wrote <= 0)
                    return fail(wrote < 0 ? errno : ENOSPC);
                written += wrote;
            }
        }
    }
    if (::lseek(file, 0, SEEK_SET) != 0)
        return fail(errno);
    return file;
}

// Whether the program, once ended, answered that the clipboard is its own.
bool answeredHolds(const QProcess &program)
{
    return program.exitStatus() == QProcess::NormalExit &&
           program.exitCode() == ClipboardHelper::Holds;
}

} // namespace

QDeadlineTimer exitDeadline(std::span<const QStringView> text)
{
    qsizetype characters = 0;
    for (const QStringView piece : text)
        characters += piece.size();
    return QDeadlineTimer(ExitBudgetMs + characters / CharactersPerMs);
}

ServingHelper::ServingHelper(const QString &program, const QStringList &arguments,
                             std::span<const QStringView> text)
    : m_process(std::make_unique<QProcess>())
    , m_name(QFileInfo(program).fileName())
    , m_text(memoryFileOf(text))
{
    if (m_text < 0) {
        m_failure = u"%1 could not be given the text (%2)."_s.arg(
            m_name, QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
    m_process->setProgram(program);
    m_process->setArguments(arguments);
    m_process->setStandardInputFile(QProcess::nullDevice());
    m_process->setStandardOutputFile(QProcess::nullDevice());
    // In the new process, before it runs the program: the memory file becomes its standard
    // input, sharing the offset with this process.
    m_process->setChildProcessModifier([file = m_text] { ::dup2(file, STDIN_FILENO); });
    m_process->start(QIODevice::ReadOnly);
    if (!m_process->waitForStarted(ExitBudgetMs))
        m_failure = u"%1 could not be started (%2)."_s.arg(m_name, m_process->errorString());
}

ServingHelper::ServingHelper(ServingHelper &&other) noexcept
    : m_process(std::move(other.m_process))
    , m_name(std::move(other.m_name))
    , m_failure(std::move(other.m_failure))
    , m_text(std::exchange(other.m_text, -1))
{
}

ServingHelper::~ServingHelper()
{
    if (m_text >= 0)
        ::close(m_text);
}

QString ServingHelper::answer(QDeadlineTimer deadline)
{
    if (!m_failure.isEmpty())
        return m_failure;
    off_t read = 0;
    QDeadlineTimer stalled(ExitBudgetMs);
    while (m_process->state() != QProcess::NotRunning &&
           !m_process->waitForFinished(int(std::min<qint64>(deadline.remainingTime(), PollMs)))) {
        if (const off_t now = ::lseek(m_text, 0, SEEK_CUR); now > read) {
            read = now;
            stalled = QDeadlineTimer(ExitBudgetMs);
        }
        if (deadline.hasExpired() || stalled.hasExpired()) {
            m_process->kill();
            m_process->waitForFinished(100);
            return u"%1 did not answer in time."_s.arg(m_name);
        }
    }
    if (!answeredHolds(*m_process)) {
        const QString reason = QString::fromLocal8Bit(m_process->readAllStandardError()).trimmed();
        return reason.isEmpty() ? u"%1 failed."_s.arg(m_name) : u"%1: %2."_s.arg(m_name, reason);
    }
    return {};
}

bool ServingHelper::leaveRunning(QDeadlineTimer answerBy)
{
    const bool holds = m_failure.isEmpty() &&
                       m_process->waitForFinished(int(answerBy.remainingTime())) &&
                       answeredHolds(*m_process);
    m_process.release();
    return holds;
}

std::optional<ServingHelper> startX11Helper(std::span<const QStringView> text, QString &failure,
                                            const QStringList &arguments)
{
    const QString helper = x11HelperPath();
    if (helper.isEmpty()) {
        failure = u"its helper, %1, is missing beside the program."_s.arg(
            QString::fromLatin1(ClipboardHelper::ProgramName));
        return std::nullopt;
    }
    return std::make_optional<ServingHelper>(helper, arguments, text);
}

QString putWithX11Helper(std::span<const QStringView> text, QDeadlineTimer deadline)
{
    QString failure;
    if (auto helper = startX11Helper(text, failure))
        failure = helper->answer(deadline);
    return failure;
}
