// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The transform at speed, for ApplyKey and OutputLength: internal to the engine.
#pragma once

#include "substitution.h"

#include <QStringView>

#include <array>

// What one code point of the input becomes: its letter's piece, or the code point itself
// upper-cased, written to spare (substitution.cpp). The fast path follows it wherever it cannot
// look the answer up.
QStringView pieceOf(const ReplaceKey &key, char32_t c, std::array<char16_t, 2> &spare);

namespace FastPath {

// ApplyKeyPlainly(key, input), cut to maxLength units between characters.
QString apply(const ReplaceKey &key, QStringView input, qsizetype maxLength);
// The length of ApplyKeyPlainly(key, input), without building it.
qsizetype length(const ReplaceKey &key, QStringView input);

} // namespace FastPath
