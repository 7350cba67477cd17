// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

// A Windows program that the end-to-end tests run beside the decoder under Wine: it reads the
// clipboard as another program would paste from it, puts a text there, holds it open, and waits
// for the decoder's windows.
//
//   clipboard_tool read              writes the clipboard's text to standard output, in UTF-8,
//                                    every character as it is (CR LF kept); fails if it has none
//   clipboard_tool put               puts its standard input, UTF-8, on the clipboard
//   clipboard_tool hold MS           holds the clipboard open for MS milliseconds; says "held"
//                                    once it has it
//   clipboard_tool read-for MS       reads the clipboard again and again for MS milliseconds, as
//                                    a clipboard history may do when another program writes it
//   clipboard_tool window TITLE MS   waits up to MS milliseconds for a visible window titled
//                                    TITLE, and writes where it is: left, top, width, height;
//                                    with "owned TITLE", for one owned by another window (a
//                                    dialog)
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <string>
#include <windows.h>

namespace {

std::wstring fromUtf8(const std::string &text)
{
    std::wstring wide(MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0),
                      L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), wide.data(), int(wide.size()));
    return wide;
}

bool openClipboard()
{
    for (int attempt = 0; attempt < 200; ++attempt) {
        if (OpenClipboard(nullptr))
            return true;
        Sleep(10);
    }
    std::fprintf(stderr, "clipboard_tool: the clipboard stayed held by another program\n");
    return false;
}

int read()
{
    if (!openClipboard())
        return 2;
    int status = 1;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto *text = static_cast<const wchar_t *>(GlobalLock(data))) {
            const int length = int(wcslen(text));
            std::string utf8(
                WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr), '\0');
            WideCharToMultiByte(CP_UTF8, 0, text, length, utf8.data(), int(utf8.size()), nullptr,
                                nullptr);
            GlobalUnlock(data);
            _setmode(_fileno(stdout), _O_BINARY);
            std::fwrite(utf8.data(), 1, utf8.size(), stdout);
            status = 0;
        }
    }
    CloseClipboard();
    if (status != 0)
        std::fprintf(stderr, "clipboard_tool: no text on the clipboard\n");
    return status;
}

// Reads the clipboard's text and drops it, as a clipboard history does on every change.
void readOnce()
{
    if (!OpenClipboard(nullptr))
        return;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        GlobalLock(data);
        GlobalUnlock(data);
    }
    CloseClipboard();
}

int put()
{
    _setmode(_fileno(stdin), _O_BINARY);
    std::string utf8;
    for (int c = std::getchar(); c != EOF; c = std::getchar())
        utf8 += char(c);
    const std::wstring text = fromUtf8(utf8);
    // Emptying a clipboard opened without a window leaves it without an owner, and the system
    // then refuses the text.
    HWND owner = CreateWindowExW(0, L"STATIC", nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    if (!owner || !OpenClipboard(owner))
        return 2;
    EmptyClipboard();
    HGLOBAL data = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
    std::memcpy(GlobalLock(data), text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    GlobalUnlock(data);
    const bool put = SetClipboardData(CF_UNICODETEXT, data) != nullptr;
    CloseClipboard();
    DestroyWindow(owner);
    return put ? 0 : 1;
}

int hold(DWORD ms)
{
    if (!openClipboard())
        return 2;
    std::printf("held\n");
    std::fflush(stdout);
    Sleep(ms);
    CloseClipboard();
    return 0;
}

int readFor(DWORD ms)
{
    const ULONGLONG end = GetTickCount64() + ms;
    while (GetTickCount64() < end)
        readOnce();
    return 0;
}

struct WindowSearch
{
    std::wstring title;
    bool owned = false;
    HWND found = nullptr;
};

BOOL CALLBACK matchWindow(HWND window, LPARAM parameter)
{
    auto *search = reinterpret_cast<WindowSearch *>(parameter);
    wchar_t title[256] = {};
    GetWindowTextW(window, title, 256);
    if (IsWindowVisible(window) && search->title == title &&
        (GetWindow(window, GW_OWNER) != nullptr) == search->owned) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

int waitForWindow(bool owned, const char *title, DWORD ms)
{
    WindowSearch search{fromUtf8(title), owned};
    const ULONGLONG end = GetTickCount64() + ms;
    do {
        EnumWindows(matchWindow, reinterpret_cast<LPARAM>(&search));
        RECT frame;
        if (search.found && GetWindowRect(search.found, &frame)) {
            std::printf("%ld %ld %ld %ld\n", frame.left, frame.top, frame.right - frame.left,
                        frame.bottom - frame.top);
            return 0;
        }
        Sleep(20);
    } while (GetTickCount64() < end);
    std::fprintf(stderr, "clipboard_tool: no window titled %s\n", title);
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "read" && argc == 2)
        return read();
    if (mode == "put" && argc == 2)
        return put();
    if (mode == "hold" && argc == 3)
        return hold(DWORD(std::atoi(argv[2])));
    if (mode == "read-for" && argc == 3)
        return readFor(DWORD(std::atoi(argv[2])));
    if (mode == "window" && argc == 4)
        return waitForWindow(false, argv[2], DWORD(std::atoi(argv[3])));
    if (mode == "window" && argc == 5 && std::string(argv[2]) == "owned")
        return waitForWindow(true, argv[3], DWORD(std::atoi(argv[4])));
    std::fprintf(stderr, "usage: clipboard_tool read | put | hold MS | read-for MS | "
                         "window [owned] TITLE MS\n");
    return 64;
}
