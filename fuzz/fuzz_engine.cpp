// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

// libFuzzer target for the substitution engine: arbitrary entries and texts, any UTF-16 with
// lone surrogates included, checked against the plain transform and against what must hold of
// the key string and the export text.
//
// The input is read as little-endian UTF-16 units. The low four bits of the first 26 units give
// the lengths of the entries for A to Z (0 to 15 units), the entries follow, the rest is the
// text; the other bits of the first unit give a limit on the output's length. Where bits 4 to 7
// of the second are all set, the text is also repeated to LongText units, long enough for paths
// that a short text never takes, and the output checked against the text's own.

#include "plainreference.h"
#include "substitution.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

PlainReference::Reference reference;

// Long enough for the engine to build its table of what each unit of the plane becomes.
constexpr qsizetype LongText = 33'000;

void check(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_engine: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int * /*argc*/, char *** /*argv*/)
{
    check(reference.load(), "UnicodeData.txt is missing: install Debian's unicode-data package");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const auto unitCount = static_cast<qsizetype>(size / 2);
    if (unitCount < LetterCount)
        return 0;
    QString units(unitCount, Qt::Uninitialized);
    std::memcpy(units.data(), data, static_cast<std::size_t>(unitCount) * 2);

    KeyEntries entries;
    qsizetype at = LetterCount;
    qsizetype keyLength = 0;
    for (int k = 0; k < LetterCount; ++k) {
        entries[k] = units.mid(at, units[k].unicode() & 15);
        at += entries[k].size();
        keyLength += std::max<qsizetype>(1, entries[k].size());
    }
    const QString input = at < unitCount ? units.mid(at) : QString();

    const QString output = ApplyKey(entries, input);
    check(output == ApplyKeyPlainly(ReplaceKey(entries), input),
          "ApplyKey differs from the plain transform");
    check(PlainReference::decode(SimpleUpperCase(input)) ==
              reference.upper(PlainReference::decode(input)),
          "upper-casing differs from UnicodeData.txt");

    // Repeated, the text gives its output repeated, unless a pair forms where the copies meet.
    const bool pairAtSeam =
        !input.isEmpty() && input.back().isHighSurrogate() && input.front().isLowSurrogate();
    if ((units[1].unicode() & 0xF0) == 0xF0 && !input.isEmpty() && !pairAtSeam) {
        // Odd lengths put each character of the text at every place in the engine's blocks.
        const qsizetype copies = LongText / input.size();
        const QString rest = input.left(LongText % input.size());
        check(ApplyKey(entries, QString(input.repeated(copies) + rest)) ==
                  output.repeated(copies) + ApplyKey(entries, rest),
              "ApplyKey on a long text differs from ApplyKey on its parts");
    }

    // A limit cuts the same output, never through a surrogate pair.
    const qsizetype limit = units[0].unicode() >> 4;
    QString cut = output.left(limit);
    if (output.size() > limit && limit > 0 && output[limit - 1].isHighSurrogate() &&
        output[limit].isLowSurrogate())
        cut.chop(1);
    check(ApplyKey(entries, input, limit) == cut, "the limited output is not the output cut");

    const QString key = KeyString(entries);
    check(key.size() == keyLength, "the key string has the wrong length");
    const QString exported = ExportText(output, key);
    check(exported.size() == output.size() + 2 + key.size() && exported.startsWith(output) &&
              exported.endsWith(key) && exported.mid(output.size(), 2) == u"\r\n",
          "the export text is not output, CR LF, key string");
    return 0;
}
