#include "servinghelper.h"

#include "helpercontract.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

using namespace Qt::StringLiterals;

namespace {

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

} // namespace

ServingHelper::ServingHelper(const QString &program, const QStringList &arguments,
                             const QString &text)
    : m_process(std::make_unique<QProcess>())
    , m_name(QFileInfo(program).fileName())
{
    m_process->setProgram(program);
    m_process->setArguments(arguments);
    m_process->setStandardOutputFile(QProcess::nullDevice());
    m_process->start(QIODevice::ReadWrite);
    if (!m_process->waitForStarted(ExitBudgetMs)) {
        m_failure = u"%1 could not be started (%2)."_s.arg(m_name, m_process->errorString());
        return;
    }
    m_process->write(text.toUtf8());
    m_process->closeWriteChannel();
}

ServingHelper::ServingHelper(ServingHelper &&) noexcept = default;
ServingHelper::~ServingHelper() = default;

QString ServingHelper::answer(QDeadlineTimer deadline)
{
    if (!m_failure.isEmpty())
        return m_failure;
    if (!m_process->waitForFinished(int(deadline.remainingTime()))) {
        m_process->kill();
        m_process->waitForFinished(100);
        return u"%1 did not answer in time."_s.arg(m_name);
    }
    if (m_process->exitStatus() != QProcess::NormalExit ||
        m_process->exitCode() != ClipboardHelper::Holds) {
        const QString reason = QString::fromLocal8Bit(m_process->readAllStandardError()).trimmed();
        return reason.isEmpty() ? u"%1 failed."_s.arg(m_name) : u"%1: %2."_s.arg(m_name, reason);
    }
    return {};
}

bool ServingHelper::leaveRunning(QDeadlineTimer answerBy)
{
    bool holds = false;
    if (m_failure.isEmpty()) {
        m_process->waitForBytesWritten(ExitBudgetMs);
        holds = m_process->waitForFinished(int(answerBy.remainingTime())) &&
                m_process->exitStatus() == QProcess::NormalExit &&
                m_process->exitCode() == ClipboardHelper::Holds;
    }
    m_process.release();
    return holds;
}

std::optional<ServingHelper> startX11Helper(const QString &text, QString &failure,
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

QString putWithX11Helper(const QString &text, QDeadlineTimer deadline)
{
    QString failure;
    if (auto helper = startX11Helper(text, failure))
        failure = helper->answer(deadline);
    return failure;
}
