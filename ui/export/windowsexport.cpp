// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "exportways.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <qt_windows.h>

using namespace Qt::StringLiterals;

namespace {

// Another program may hold the clipboard open for a moment to read what was put on it, as a
// clipboard history does, so Exit waits for it longer than the toolkit's own 200 ms.
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
// has the input box's LF alone, so a lone LF becomes CR LF, as the toolkit's clipboard would have
// it. Gives each unit of the text so converted to put.
template <typename Put> void withWindowsLineBreaks(std::span<const QStringView> pieces, Put put)
{
    QChar previous;
    for (const QStringView piece : pieces) {
        for (const QChar unit : piece) {
            if (unit == u'\n' && previous != u'\r')
                put(u'\r');
            put(unit.unicode());
            previous = unit;
        }
    }
}

// Global memory holding the text with Windows line breaks, ending in a null, for the clipboard
// to take; nothing where there is no memory.
HGLOBAL globalTextOf(std::span<const QStringView> pieces)
{
    qsizetype units = 1;
    withWindowsLineBreaks(pieces, [&units](char16_t) { ++units; });
    HGLOBAL data = GlobalAlloc(GMEM_MOVEABLE, SIZE_T(units) * sizeof(wchar_t));
    auto *out = data ? static_cast<char16_t *>(GlobalLock(data)) : nullptr;
    if (!out) {
        if (data)
            GlobalFree(data);
        return nullptr;
    }
    withWindowsLineBreaks(pieces, [&out](char16_t unit) { *out++ = unit; });
    *out = 0;
    GlobalUnlock(data);
    return data;
}

// On Windows the clipboard keeps what is put on it as data after the program has ended, so the
// text goes on as data, through the system's clipboard functions, each of which says whether it
// worked, while the program can still report a failure; the toolkit's clipboard would offer it
// to be rendered on request, and render it for good only at the program's teardown, where
// nothing checks the result (docs/clipboard.md).
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

    QString clearAndPut(std::span<const QStringView> text) override
    {
        // Emptying the clipboard makes the window that opened it its owner; with none, the
        // system refuses the text.
        if (!m_owner) {
            m_owner = CreateWindowExW(0, L"STATIC", nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                      GetModuleHandleW(nullptr), nullptr);
            if (!m_owner)
                return u"no window could be made to own it (%1)."_s.arg(systemError());
        }
        // Made before the clipboard is opened, as other programs wait for it meanwhile.
        HGLOBAL data = globalTextOf(text);
        if (!data)
            return u"there was no memory for the text (%1)."_s.arg(systemError());
        const QDeadlineTimer openBy(OpenWaitMs);
        while (!OpenClipboard(m_owner)) {
            if (openBy.hasExpired()) {
                const QString failure = u"another program kept it open (%1)."_s.arg(systemError());
                GlobalFree(data);
                return failure;
            }
            QThread::msleep(10);
        }
        const QString failure = emptyAndPut(data);
        if (!CloseClipboard() && failure.isEmpty())
            return u"it could not be closed (%1)."_s.arg(systemError());
        return failure;
    }

    void endProgram() override { QCoreApplication::quit(); }

private:
    // With the clipboard open; from here the system owns the memory, unless it refuses it.
    static QString emptyAndPut(HGLOBAL data)
    {
        QString failure;
        if (!EmptyClipboard())
            failure = u"it could not be emptied (%1)."_s.arg(systemError());
        else if (!SetClipboardData(CF_UNICODETEXT, data))
            failure = u"the system did not take the text (%1)."_s.arg(systemError());
        if (!failure.isEmpty())
            GlobalFree(data);
        return failure;
    }

    HWND m_owner = nullptr;
};

} // namespace

std::unique_ptr<ClipboardExport> makeWindowsClipboardExport()
{
    return std::make_unique<WindowsClipboardExport>();
}
