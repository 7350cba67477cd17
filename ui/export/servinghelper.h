// A program that takes the clipboard with the text on its standard input, answers by its exit
// status, and leaves a detached copy of itself to serve the text: the decoder's X11 helper
// (helpercontract.h), or wl-copy. Linux only.
#pragma once

#include <QDeadlineTimer>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

QT_BEGIN_NAMESPACE
class QProcess;
QT_END_NAMESPACE

// Exit must end the program within a second whatever the clipboard does.
inline constexpr int ExitBudgetMs = 800;

class ServingHelper
{
public:
    ServingHelper(const QString &program, const QStringList &arguments, const QString &text);
    ServingHelper(ServingHelper &&) noexcept;
    ~ServingHelper();

    // Waits until the deadline for the answer. Returns why it failed, or an empty string once
    // the helper has answered that the clipboard is its own.
    QString answer(QDeadlineTimer deadline);

    // Waits until answerBy for the answer, then lets the helper finish on its own, for a
    // clipboard served where it can be that must not hold up the end of the program. The text
    // reaches the helper in any case: one that read none would serve an empty text. The
    // program ends without deleting the process object, whose destructor would kill the helper.
    // Returns whether the helper answered in time that the clipboard is its own.
    bool leaveRunning(QDeadlineTimer answerBy);

private:
    std::unique_ptr<QProcess> m_process;
    QString m_name;
    QString m_failure;
};

// Starts the X11 helper with the text; sets failure and gives nothing where it is missing.
std::optional<ServingHelper> startX11Helper(const QString &text, QString &failure,
                                            const QStringList &arguments = {});

// Has the X11 helper take the clipboard with the text, by the deadline; returns why it failed.
QString putWithX11Helper(const QString &text, QDeadlineTimer deadline);
