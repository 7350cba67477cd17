// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The contract between the decoder and its X11 clipboard helper, which both include.
//
// At Exit the decoder starts the helper with the text, UTF-8, on its standard input: a memory
// file, whose offset the helper moves to the end once it has the text (or a pipe, read to its
// end). The helper takes the CLIPBOARD selection of the display named by DISPLAY and answers
// through its exit status, with the reason on standard error where it failed; a detached copy of
// it then serves the text until another client takes CLIPBOARD or the display closes. With
// UnlessServed it first asks the owner of CLIPBOARD, if any, for its targets, as an X11 client
// would before pasting, and leaves it alone where it answers. Where that owner is the compositor,
// answering only because an X11 window has the focus (KWin), a detached copy waits, and serves
// the text once the compositor lets CLIPBOARD go, if what it passed on was this very text.
#pragma once

namespace ClipboardHelper {

// The helper's file name, beside the program or at InstalledPath from the program's folder.
inline constexpr char ProgramName[] = "vellumtide-clipboard";
inline constexpr char InstalledPath[] = "../libexec/vellumtide/vellumtide-clipboard";

inline constexpr char UnlessServed[] = "--unless-served";

// Exit statuses.
inline constexpr int Holds = 0;            // the clipboard is the helper's, and served
inline constexpr int Failed = 1;           // the reason is on standard error
inline constexpr int LeftToCompositor = 2; // with UnlessServed: an owner answers X11 clients

} // namespace ClipboardHelper
