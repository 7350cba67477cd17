// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "exportways.h"
#include "helpercontract.h"
#include "keeperoffer.h"
#include "servinghelper.h"

#include <QClipboard>
#include <QEventLoop>
#include <QGuiApplication>
#include <QMimeData>
#include <QPointer>
#include <QStandardPaths>
#include <QTimer>

#include <algorithm>
#include <cstdlib>
#include <functional>

using namespace Qt::StringLiterals;

namespace {

// A keeper reads a new selection as soon as it sees it, so a longer wait for the first read
// would only delay the report on a desktop that has none.
constexpr int KeeperWaitMs = 300;
// A keeper that reads a selection several times reads again as soon as a read is answered, so
// a pause this long means its reads are over.
constexpr int ReadsPausedMs = 100;
// Kept back from the Exit budget, so that a keeper can still offer its copy and the program
// read it back before the budget ends.
constexpr int CopyCheckMs = 250;
// A compositor looks at the helper's new X11 selection a few milliseconds after the helper has
// it, and this leaves room for a busy machine without holding up the end.
constexpr int CompositorTakeOverMs = 100;
// Long enough for the helper to take the X11 clipboard of a running Xwayland, so that X11
// clients paste right after the end, and short of the second that starting Xwayland takes,
// which X11 clients can wait for and Exit cannot.
constexpr int X11WaitMs = 150;

const auto InstallWlClipboard = u" Install wl-clipboard (it provides wl-copy) and try again."_s;

QString nothingKeepsIt()
{
    return u"on this Wayland desktop nothing keeps it after the decoder has ended."_s +
           InstallWlClipboard;
}

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

// A keeper reads a new selection, perhaps several times one read after the other, and offers
// its own copy once the owner has gone; a read proves nothing (the reader may keep nothing, or
// the empty text that a read got after the owner had gone), so the program serves every read,
// lets the selection go once the reads have paused, and counts on the keeper only when it
// offers the very text back (offeredBack). Returns why it does not.
QString keptByKeeper(std::span<const QStringView> pieces, QDeadlineTimer deadline)
{
    const QString text = joined(pieces);
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
        return nothingKeepsIt();

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
        const OfferedBack back = offeredBack(copy, clipboard->ownsClipboard(), text);
        if (back == OfferedBack::TheText) {
            QObject::disconnect(offered);
            return {};
        }
        otherText = otherText || back == OfferedBack::AnotherText;
    }
    QObject::disconnect(offered);
    return (otherText
                ? u"on this Wayland desktop a clipboard manager read it but kept another text."_s
                : u"on this Wayland desktop a clipboard manager read it but did not keep it."_s) +
           InstallWlClipboard;
}

// Puts the text on the Wayland clipboard so that it outlives the program: through wl-copy, or,
// drawing through Wayland, where the compositor keeps a copy (also where wl-copy fails, as
// where the compositor denies it the focus it needs). Returns why it failed.
// Sets servedByWlCopy where wl-copy took it.
QString putOnWayland(std::span<const QStringView> text, bool drawingOnWayland,
                     QDeadlineTimer deadline, bool *servedByWlCopy = nullptr)
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
    return wlCopy.isEmpty() ? nothingKeepsIt() : failure;
}

// Keeps the window up, with the focus, while a compositor that takes a selection from Xwayland
// only while an X11 window has the focus looks at the helper's new one: drawing through
// Xwayland, the compositor then takes the text over; drawing through Wayland, it then leaves
// the X11 clipboard to the helper, which it would otherwise bridge to Wayland in wl-copy's
// stead, and lose, should another X11 window have the focus first (docs/clipboard.md).
void keepFocusForCompositor(QDeadlineTimer deadline)
{
    Pause().run(std::min<qint64>(deadline.remainingTime(), CompositorTakeOverMs));
}

// X11 clients under Xwayland paste only what the compositor passes on from the Wayland
// clipboard, which some compositors do only while an X11 window has the focus and none does
// for its own kept copy, so the helper serves them; where wl-copy serves, only once it has
// found that no owner of the X11 clipboard answers X11 clients now, as two owners taking it at
// once can leave them nothing (docs/clipboard.md).
void serveX11Clients(std::span<const QStringView> text, bool servedByWlCopy,
                     QDeadlineTimer deadline)
{
    QString ignored;
    const QStringList arguments =
        servedByWlCopy ? QStringList{QString::fromLatin1(ClipboardHelper::UnlessServed)}
                       : QStringList();
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
    QString clearAndPut(std::span<const QStringView> text) override
    {
        const QDeadlineTimer deadline = exitDeadline(text);
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

} // namespace

std::unique_ptr<ClipboardExport> makeWaylandClipboardExport()
{
    return std::make_unique<WaylandClipboardExport>();
}
