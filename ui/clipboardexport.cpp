#include "clipboardexport.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMimeData>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QTimer>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <optional>

#ifdef Q_OS_WIN
#include <QThread>
#include <qt_windows.h>
#endif

using namespace Qt::StringLiterals;

namespace {

// Exit must end the program within a second whatever the clipboard does.
constexpr int ExitBudgetMs = 800;
// How long a keeper (a compositor that keeps clipboards, a clipboard manager) may take to read
// a new selection.
constexpr int KeeperWaitMs = 300;
// A keeper that reads a selection several times reads it again within this time.
constexpr int ReadsPausedMs = 100;
// What is left of the Exit budget for a keeper to offer its copy and for reading it back.
constexpr int CopyCheckMs = 250;
// How long a compositor takes to take over the X11 selection of Xwayland.
constexpr int CompositorTakeOverMs = 100;
// How long Exit waits for the helper to hold the X11 clipboard where the text is kept already.
constexpr int X11WaitMs = 150;

// The toolkit's clipboard, for window systems that keep its contents after the program ends
// (macOS), as long as the program ends through the normal exit.
class ToolkitClipboardExport final : public ClipboardExport
{
public:
    QString clearAndPut(const QString &text) override
    {
        QClipboard *clipboard = QGuiApplication::clipboard();
        clipboard->clear();
        clipboard->setText(text);
        if (clipboard->text() != text)
            return u"the clipboard did not take the text."_s;
        return {};
    }

    void endProgram() override { QCoreApplication::quit(); }
};

#ifdef Q_OS_WIN
// Another program may hold the clipboard open for a moment, to read what was put on it (a
// clipboard history does); the toolkit's own clipboard tries for 200 ms.
constexpr int OpenWaitMs = 500;

// The system's words for the error of the clipboard function that has just failed, without the
// full stop.
QString systemError()
{
    const DWORD error = GetLastError();
    wchar_t *message = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t *>(&message), 0, nullptr);
    QString text = QString::fromWCharArray(message, int(length)).trimmed();
    LocalFree(message);
    if (text.endsWith(u'.'))
        text.chop(1);
    return text.isEmpty() ? u"error %1"_s.arg(error) : text;
}

// Windows programs expect CR LF between the lines of a text on the clipboard, where the output
// has the input box's LF alone; the toolkit's clipboard converts them so too.
QString withWindowsLineBreaks(const QString &text)
{
    QString converted;
    converted.reserve(text.size() + text.count(u'\n'));
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\n' && (i == 0 || text[i - 1] != u'\r'))
            converted += u'\r';
        converted += text[i];
    }
    return converted;
}

// On Windows the clipboard keeps what is put on it as data after the program has ended. The
// toolkit's clipboard offers its text to be rendered on request instead, and renders it for
// good only at the program's teardown, where nothing checks the result: a program that read
// the clipboard at that moment was seen to leave it empty. So the text goes on as data, through
// the system's clipboard functions, each of which says whether it worked, while the program can
// still report it.
class WindowsClipboardExport final : public ClipboardExport
{
    Q_DISABLE_COPY_MOVE(WindowsClipboardExport)

public:
    WindowsClipboardExport() = default;
    ~WindowsClipboardExport() override
    {
        if (m_owner)
            DestroyWindow(m_owner);
    }

    QString clearAndPut(const QString &text) override
    {
        // Emptying the clipboard makes the window that opened it its owner; with none, the
        // system refuses the text.
        if (!m_owner) {
            m_owner = CreateWindowExW(0, L"STATIC", nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                      GetModuleHandleW(nullptr), nullptr);
            if (!m_owner)
                return u"no window could be made to own it (%1)."_s.arg(systemError());
        }
        const QDeadlineTimer openBy(OpenWaitMs);
        while (!OpenClipboard(m_owner)) {
            if (openBy.hasExpired())
                return u"another program kept it open (%1)."_s.arg(systemError());
            QThread::msleep(10);
        }
        const QString failure = emptyAndPut(withWindowsLineBreaks(text));
        if (!CloseClipboard() && failure.isEmpty())
            return u"it could not be closed (%1)."_s.arg(systemError());
        return failure;
    }

    void endProgram() override { QCoreApplication::quit(); }

private:
    // With the clipboard open.
    static QString emptyAndPut(const QString &text)
    {
        if (!EmptyClipboard())
            return u"it could not be emptied (%1)."_s.arg(systemError());
        const SIZE_T bytes = SIZE_T(text.size() + 1) * sizeof(wchar_t);
        HGLOBAL data = GlobalAlloc(GMEM_MOVEABLE, bytes);
        auto *characters = data ? static_cast<wchar_t *>(GlobalLock(data)) : nullptr;
        if (!characters) {
            if (data)
                GlobalFree(data);
            return u"there was no memory for the text (%1)."_s.arg(systemError());
        }
        characters[text.toWCharArray(characters)] = L'\0';
        GlobalUnlock(data);
        // From here the system owns the memory, unless it refuses it.
        if (!SetClipboardData(CF_UNICODETEXT, data)) {
            const QString failure = u"the system did not take the text (%1)."_s.arg(systemError());
            GlobalFree(data);
            return failure;
        }
        return {};
    }

    HWND m_owner = nullptr;
};
#endif

#ifdef Q_OS_LINUX
// A program that takes the clipboard with the text on its standard input and answers by its
// exit status, after which a detached copy of it serves the text: the X11 helper, or wl-copy.
class ServingHelper
{
public:
    ServingHelper(const QString &program, const QStringList &arguments, const QString &text)
        : m_name(QFileInfo(program).fileName())
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

    // Waits until the deadline for the answer. Returns why it failed, or an empty string once
    // the helper has answered that the clipboard is its own.
    QString answer(QDeadlineTimer deadline)
    {
        if (!m_failure.isEmpty())
            return m_failure;
        if (!m_process->waitForFinished(int(deadline.remainingTime()))) {
            m_process->kill();
            m_process->waitForFinished(100);
            return u"%1 did not answer in time."_s.arg(m_name);
        }
        if (m_process->exitStatus() != QProcess::NormalExit || m_process->exitCode() != 0) {
            const QString reason =
                QString::fromLocal8Bit(m_process->readAllStandardError()).trimmed();
            return reason.isEmpty() ? u"%1 failed."_s.arg(m_name)
                                    : u"%1: %2."_s.arg(m_name, reason);
        }
        return {};
    }

    // Waits until answerBy for the answer, then lets the helper finish on its own, for a
    // clipboard served where it can be that must not hold up the end of the program. The text
    // reaches the helper in any case: one that read none would serve an empty text. The
    // program ends without deleting the process object, whose destructor would kill the helper.
    // Returns whether the helper answered in time that the clipboard is its own.
    bool leaveRunning(QDeadlineTimer answerBy)
    {
        bool holds = false;
        if (m_failure.isEmpty()) {
            m_process->waitForBytesWritten(ExitBudgetMs);
            holds = m_process->waitForFinished(int(answerBy.remainingTime())) &&
                    m_process->exitStatus() == QProcess::NormalExit && m_process->exitCode() == 0;
        }
        m_process.release();
        return holds;
    }

private:
    std::unique_ptr<QProcess> m_process = std::make_unique<QProcess>();
    QString m_name;
    QString m_failure;
};

// The X11 helper, beside the program or in the libexec folder of an installation.
QString x11HelperPath()
{
    const QDir programFolder(QCoreApplication::applicationDirPath());
    for (const QString &candidate :
         {programFolder.filePath(u"vellumtide-clipboard"_s),
          programFolder.filePath(u"../libexec/vellumtide/vellumtide-clipboard"_s)}) {
        if (QFileInfo(candidate).isExecutable())
            return QDir::cleanPath(candidate);
    }
    return {};
}

std::optional<ServingHelper> startX11Helper(const QString &text, QString &failure,
                                            const QStringList &arguments = {})
{
    const QString helper = x11HelperPath();
    if (helper.isEmpty()) {
        failure = u"its helper, vellumtide-clipboard, is missing beside the program."_s;
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

const auto InstallWlClipboard = u" Install wl-clipboard (it provides wl-copy) and try again."_s;

// The clipboard's text, telling when another client reads it.
class ReadWatchedText final : public QMimeData
{
public:
    std::function<void()> onRead;

protected:
    QVariant retrieveData(const QString &mimeType, QMetaType type) const override
    {
        if (onRead)
            onRead();
        return QMimeData::retrieveData(mimeType, type);
    }
};

// Runs the event loop, user input aside, until something calls wake() or ms milliseconds pass.
class Pause
{
public:
    void wake() { QMetaObject::invokeMethod(&m_loop, &QEventLoop::quit, Qt::QueuedConnection); }

    void run(qint64 ms)
    {
        QTimer timer;
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, &m_loop, &QEventLoop::quit);
        timer.start(int(std::clamp<qint64>(ms, 0, ExitBudgetMs)));
        m_loop.exec(QEventLoop::ExcludeUserInputEvents);
    }

private:
    QEventLoop m_loop;
};

// A keeper, a compositor that keeps clipboards (weston, mutter) or a clipboard manager (Plasma's
// Klipper), reads a new selection, some of them several times one read after the other, and
// offers its own copy once the owner has gone. A read proves nothing: the reader may keep
// nothing, or keep what a read got after the owner had gone, an empty text. So the program
// serves every read, lets the selection go once the reads have paused, and counts on the
// keeper only when it offers the very text back. Returns why it does not.
QString keptByKeeper(const QString &text, QDeadlineTimer deadline)
{
    auto *data = new ReadWatchedText;
    data->setText(text);
    const QPointer<ReadWatchedText> watched(data);
    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setMimeData(data);

    // Watched only from here: taking the clipboard, the toolkit reads the text itself to offer
    // it under a second name. The toolkit writes each answer as soon as this callback returns.
    Pause pause;
    int reads = 0;
    data->onRead = [&] {
        ++reads;
        pause.wake();
    };
    // A keeper may also take the selection over while the program still holds it.
    const QMetaObject::Connection takenOver =
        QObject::connect(clipboard, &QClipboard::dataChanged, clipboard, [&] {
            if (!clipboard->ownsClipboard())
                pause.wake();
        });
    const QDeadlineTimer firstReadBy(KeeperWaitMs);
    while (reads == 0 && clipboard->ownsClipboard() && !firstReadBy.hasExpired())
        pause.run(firstReadBy.remainingTime());
    // (A negative time would make a deadline that never expires.)
    const QDeadlineTimer lastLetGo(std::max<qint64>(deadline.remainingTime() - CopyCheckMs, 0));
    for (int seen = -1; reads > seen && clipboard->ownsClipboard() && !lastLetGo.hasExpired();) {
        seen = reads;
        pause.run(std::min<qint64>(ReadsPausedMs, lastLetGo.remainingTime()));
    }
    QObject::disconnect(takenOver);
    if (watched)
        watched->onRead = nullptr;
    if (reads == 0)
        return u"on this Wayland desktop nothing keeps it after the decoder has ended."_s +
               InstallWlClipboard;

    // The selection that the keeper offers after this one is its copy; the offer that the
    // toolkit may still hold of the program's own selection leads nowhere.
    int offers = clipboard->ownsClipboard() ? 0 : 1;
    if (offers == 0)
        clipboard->clear();
    const QMetaObject::Connection offered =
        QObject::connect(clipboard, &QClipboard::dataChanged, clipboard, [&] {
            ++offers;
            pause.wake();
        });
    bool otherText = false;
    for (int checked = 0; !deadline.hasExpired(); pause.run(deadline.remainingTime())) {
        if (offers == checked)
            continue;
        checked = offers;
        const QMimeData *copy = clipboard->mimeData();
        if (clipboard->ownsClipboard() || !copy || !copy->hasText())
            continue;
        if (clipboard->text() == text) {
            QObject::disconnect(offered);
            return {};
        }
        otherText = true;
    }
    QObject::disconnect(offered);
    return (otherText
                ? u"on this Wayland desktop a clipboard manager read it but kept another text."_s
                : u"on this Wayland desktop a clipboard manager read it but did not keep it."_s) +
           InstallWlClipboard;
}

// On X11 the text must outlive the program: the helper takes the clipboard and serves it.
class X11ClipboardExport final : public ClipboardExport
{
public:
    QString clearAndPut(const QString &text) override
    {
        return putWithX11Helper(text, QDeadlineTimer(ExitBudgetMs));
    }

    // Nothing is left to hand over: the helper owns the clipboard now. Ending through the
    // toolkit's exit would have it offer its own clipboard to a clipboard manager, and wait.
    void endProgram() override { std::_Exit(0); }
};

// Puts the text on the Wayland clipboard so that it outlives the program: through wl-copy, or,
// drawing through Wayland, where the compositor keeps a copy (also where wl-copy fails, as
// where the compositor denies it the focus it needs). Returns why it failed.
// Sets servedByWlCopy where wl-copy took it.
QString putOnWayland(const QString &text, bool drawingOnWayland, QDeadlineTimer deadline,
                     bool *servedByWlCopy = nullptr)
{
    const QString wlCopy = QStandardPaths::findExecutable(u"wl-copy"_s);
    QString failure;
    if (!wlCopy.isEmpty()) {
        failure = ServingHelper(wlCopy, {u"--type"_s, u"text/plain;charset=utf-8"_s}, text)
                      .answer(deadline);
        if (servedByWlCopy)
            *servedByWlCopy = failure.isEmpty();
        if (failure.isEmpty())
            return {};
    }
    if (drawingOnWayland && deadline.remainingTime() >= KeeperWaitMs + CopyCheckMs) {
        const QString keeperFailure = keptByKeeper(text, deadline);
        if (keeperFailure.isEmpty() || wlCopy.isEmpty())
            return keeperFailure;
    }
    if (!wlCopy.isEmpty())
        return failure;
    return u"on this Wayland desktop nothing keeps it after the decoder has ended."_s +
           InstallWlClipboard;
}

// sway (and KWin) looks at the helper's new selection a few milliseconds after the helper has
// it, and passes it on to Wayland clients only while an X11 window has the focus: the window
// stays up, with the focus, for that moment. Drawing through Xwayland, the window is that X11
// window and the compositor takes the text over. Drawing through Wayland, the compositor must
// leave it to the helper: should an X11 window that takes the focus after the end be the first
// to see it, sway makes its own bridge of the X11 clipboard the Wayland selection, wl-copy
// gives up, the bridge takes the X11 clipboard from the helper, and reads from itself.
void keepFocusForCompositor(QDeadlineTimer deadline)
{
    QEventLoop loop;
    QTimer::singleShot(int(std::min<qint64>(deadline.remainingTime(), CompositorTakeOverMs)), &loop,
                       &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

// X11 clients under Xwayland paste what the compositor passes on from the Wayland clipboard:
// weston and mutter pass on what wl-copy serves at any time, sway and KWin only while an X11
// window has the focus, and no compositor passes on its own kept copy. So the helper serves
// them, where wl-copy serves only once it has found that an X11 client cannot paste now:
// weston can crash when the helper takes the X11 clipboard while it passes wl-copy's text on.
// The program waits a moment for the helper to hold the X11 clipboard, so that X11 clients
// paste right after the end; an Xwayland that has not started yet starts when the helper
// connects, which takes a second, and the clients can wait for that, Exit cannot.
void serveX11Clients(const QString &text, bool servedByWlCopy, QDeadlineTimer deadline)
{
    QString ignored;
    const QStringList arguments =
        servedByWlCopy ? QStringList{u"--unless-served"_s} : QStringList();
    auto helper = startX11Helper(text, ignored, arguments);
    if (helper &&
        helper->leaveRunning(QDeadlineTimer(std::min<qint64>(deadline.remainingTime(), X11WaitMs))))
        keepFocusForCompositor(deadline);
}

// On a Wayland session Wayland clients and X11 clients under Xwayland paste from two clipboards,
// which the compositor bridges. Drawing through Xwayland, the program's X11 helper takes the
// X11 clipboard, and the compositor passes it on to Wayland clients; wl-copy stands in where
// the helper fails. Drawing through Wayland, wl-copy (or a keeper: a compositor that keeps
// clipboards, a clipboard manager) serves Wayland clients, and the helper X11 clients.
class WaylandClipboardExport final : public ClipboardExport
{
public:
    QString clearAndPut(const QString &text) override
    {
        const QDeadlineTimer deadline(ExitBudgetMs);
        if (QGuiApplication::platformName() == u"xcb") {
            const QString x11Failure = putWithX11Helper(text, deadline);
            if (x11Failure.isEmpty()) {
                keepFocusForCompositor(deadline);
                return {};
            }
            const QString waylandFailure = putOnWayland(text, false, deadline);
            return waylandFailure.isEmpty() ? QString() : x11Failure + u' ' + waylandFailure;
        }
        bool servedByWlCopy = false;
        const QString waylandFailure = putOnWayland(text, true, deadline, &servedByWlCopy);
        if (waylandFailure.isEmpty() && !qEnvironmentVariableIsEmpty("DISPLAY"))
            serveX11Clients(text, servedByWlCopy, deadline);
        return waylandFailure;
    }

    // wl-copy, the helper or the compositor serves the text now; the toolkit has nothing left
    // to hand over.
    void endProgram() override { std::_Exit(0); }
};

bool onWaylandSession()
{
    return QGuiApplication::platformName() == u"wayland" ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}
#endif

} // namespace

std::unique_ptr<ClipboardExport> makeSystemClipboardExport()
{
#ifdef Q_OS_WIN
    return std::make_unique<WindowsClipboardExport>();
#endif
#ifdef Q_OS_LINUX
    if (onWaylandSession())
        return std::make_unique<WaylandClipboardExport>();
    if (QGuiApplication::platformName() == u"xcb")
        return std::make_unique<X11ClipboardExport>();
#endif
    return std::make_unique<ToolkitClipboardExport>();
}
