// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The transform at speed: the same output as ApplyKeyPlainly, measured first and written once,
// ASCII a vector block at a time, each piece copied with one fixed-size move. What each letter
// becomes comes from ReplaceKey::piece and what any other character becomes from pieceOf, worked
// out once a call into tables that the loops only look up.

#include "fastpath.h"

#include "casing.h"

#include <QStringView>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#if __has_include(<sys/mman.h>)
#include <sys/mman.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

namespace {

// The fast paths take the text in blocks of this many units.
constexpr qsizetype Block = 16;

// A table of what each unit becomes repays building it from about this many units on.
constexpr qsizetype UnitTableWorth = 32 * 1024;

// A piece padded with zeros to a fixed number of units, the last of which holds the piece's size
// in bytes: it is copied with one fixed-size move, and the output then advances by that size.
// Advancing by bytes rather than units keeps the chain of additions that each piece's place
// depends on at one cycle a piece.
template <int Units> using PaddedPiece = std::array<char16_t, Units>;

// The moves may write this many units past the end of the output.
constexpr qsizetype Overrun = 7;

template <int Units> struct PaddedPieces
{
    static_assert(Units - 1 <= Overrun);
    static constexpr qsizetype Longest = Units - 1;
    // By ASCII unit, and by letter index with LetterCount for a unit that is no letter: zeros,
    // with the size of one unit, over which the unit itself is written.
    std::array<PaddedPiece<Units>, 128> ascii{};
    std::array<PaddedPiece<Units>, LetterCount + 1> letter{};

    // Copies a padded piece to to and returns its size in bytes; the size of a piece of four
    // units comes from the same load as its units.
    static qsizetype move(char *to, const PaddedPiece<Units> &piece)
    {
        if constexpr (sizeof piece == sizeof(std::uint64_t)) {
            std::uint64_t units;
            std::memcpy(&units, piece.data(), sizeof units);
            std::memcpy(to, &units, sizeof units);
            return qsizetype(units >> 48);
        } else {
            std::memcpy(to, piece.data(), sizeof piece);
            return piece.back();
        }
    }

    static PaddedPiece<Units> padded(QStringView piece)
    {
        PaddedPiece<Units> padded{};
        std::copy_n(piece.utf16(), std::min(piece.size(), Longest), padded.begin());
        padded.back() = static_cast<char16_t>(piece.size() * sizeof(char16_t));
        return padded;
    }

    void fill(const std::array<QStringView, LetterCount> &letterPiece,
              const std::array<QStringView, 128> &asciiPiece)
    {
        std::transform(letterPiece.begin(), letterPiece.end(), letter.begin(), padded);
        letter[LetterCount].back() = sizeof(char16_t);
        std::transform(asciiPiece.begin(), asciiPiece.end(), ascii.begin(), padded);
    }
};

// What each letter becomes, and what each ASCII character becomes, worked out once per call so
// that the loops over the text only look pieces up.
struct Translation
{
    const ReplaceKey &key;
    std::array<QStringView, LetterCount> letterPiece;
    std::array<QStringView, 128> asciiPiece;
    qsizetype longestPiece = 1;
    // Lengths in units by letter index, LetterCount for a unit that is no letter, and by ASCII
    // unit.
    std::array<qsizetype, LetterCount + 1> letterLength{};
    std::array<qsizetype, 128> asciiLength{};
    std::array<std::array<char16_t, 2>, 128> asciiSpare; // the pieces that are no letter's
    // Filled when the longest piece fits.
    PaddedPieces<4> narrow;
    PaddedPieces<8> wide;
    // For the vector paths, A first: under a key of single letters the byte each letter becomes,
    // where each becomes an ASCII character, and under short pieces each piece's length less one.
    alignas(16) std::array<char, 32> letterBytes{};
    bool byteLetters = true;
    alignas(16) std::array<char, 32> letterExtra{};

    explicit Translation(const ReplaceKey &replaceKey)
        : key(replaceKey)
    {
        for (int k = 0; k < LetterCount; ++k) {
            const QStringView piece = key.piece(k);
            letterPiece[k] = piece;
            letterLength[k] = piece.size();
            longestPiece = std::max(longestPiece, piece.size());
            letterBytes[k] = static_cast<char>(piece.front().unicode());
            byteLetters = byteLetters && piece.front().unicode() < 0x80;
            letterExtra[k] = static_cast<char>(std::min<qsizetype>(piece.size() - 1, 127));
        }
        letterLength[LetterCount] = 1;
        for (char16_t c = 0; c < 128; ++c) {
            asciiPiece[c] = pieceOf(key, c, asciiSpare[c]);
            asciiLength[c] = asciiPiece[c].size();
            longestPiece = std::max(longestPiece, asciiLength[c]);
        }
        if (longestPiece <= narrow.Longest)
            narrow.fill(letterPiece, asciiPiece);
        else if (longestPiece <= wide.Longest)
            wide.fill(letterPiece, asciiPiece);
    }

    // Under a key of single letters: what each unit of the plane becomes, the case table with
    // the letters substituted, LookCloser where it is marked.
    std::unique_ptr<char16_t[]> unitTable() const
    {
        // Every unit whose upper case is a letter: a to z, A to Z, and "ı" and "ſ".
        static const std::vector<char16_t> toLetter = [] {
            std::vector<char16_t> units;
            for (char32_t unit = 0; unit < 0x10000; ++unit) {
                if (isLetter(caseTable().upper[unit]))
                    units.push_back(char16_t(unit));
            }
            return units;
        }();
        const auto &upper = caseTable().upper;
        auto unitOf = std::make_unique_for_overwrite<char16_t[]>(0x10000);
        std::copy(upper.begin(), upper.end(), unitOf.get());
        for (const char16_t unit : toLetter)
            unitOf[unit] = letterPiece[upper[unit] - u'A'].front().unicode();
        return unitOf;
    }

    // Whether each unit in gives one unit out, so that the output is as long as the input.
    bool keepsLength() const { return longestPiece == 1 && caseTable().keepsLength; }
};

// One code point the slow way, read from in: its piece (written to spare where it is no letter's).
QStringView readPiece(const char16_t *&in, const char16_t *end, const Translation &translation,
                      std::array<char16_t, 2> &spare)
{
    if (*in < 0x80)
        return translation.asciiPiece[*in++];
    return pieceOf(translation.key, nextCodePoint(in, end), spare);
}

char16_t *writePiece(const char16_t *&in, const char16_t *end, char16_t *w,
                     const Translation &translation)
{
    std::array<char16_t, 2> spare;
    const QStringView piece = readPiece(in, end, translation, spare);
    return std::copy_n(piece.utf16(), piece.size(), w);
}

bool isAsciiBlock(const char16_t *in)
{
    std::uint64_t any = 0;
    for (qsizetype i = 0; i < Block; i += 4) {
        std::uint64_t four;
        std::memcpy(&four, in + i, sizeof four);
        any |= four;
    }
    return (any & 0xFF80FF80FF80FF80) == 0;
}

// Index LetterCount for every unit whose upper case is no letter, its letter's otherwise. Worked
// out with a mask: as a branch, mixed text mispredicts it about every other character.
unsigned slotOf(char16_t upper)
{
    const unsigned offset = static_cast<unsigned>(upper) - u'A';
    const unsigned letter = 0u - static_cast<unsigned>(offset < LetterCount);
    return (offset & letter) | (LetterCount & ~letter);
}

#if defined(__x86_64__) && defined(__GNUC__)
// Index 0 to 25 for a to z and A to Z alike in each 16-bit lane; anything else falls outside, and
// isLetter tells the lanes apart.
[[gnu::target("avx2")]] inline __m256i asciiLetterIndex(__m256i units, __m256i &isLetter)
{
    const __m256i index =
        _mm256_sub_epi16(_mm256_or_si256(units, _mm256_set1_epi16(0x20)), _mm256_set1_epi16(u'a'));
    isLetter = _mm256_and_si256(_mm256_cmpgt_epi16(index, _mm256_set1_epi16(-1)),
                                _mm256_cmpgt_epi16(_mm256_set1_epi16(LetterCount), index));
    return index;
}

// Looks up letter indexes in 32 bytes, A first, held as two 16-byte tables in both halves of a
// register each. Shuffles give zero where an index byte has its top bit set: the low table is
// asked with 0x70 added, which sets it from index 16 on, the high one with 16 taken away, which
// sets it below 16 and for an index below zero. In 16-bit lanes each high byte always has it set.
struct LetterLookup
{
    __m256i lowTable;
    __m256i highTable;

    [[gnu::target("avx2")]] explicit LetterLookup(const std::array<char, 32> &letters)
        : lowTable(_mm256_broadcastsi128_si256(
              _mm_load_si128(reinterpret_cast<const __m128i *>(letters.data()))))
        , highTable(_mm256_broadcastsi128_si256(
              _mm_load_si128(reinterpret_cast<const __m128i *>(letters.data() + 16))))
    {
    }

    [[gnu::target("avx2")]] __m256i operator()(__m256i index) const
    {
        const __m256i topBit = _mm256_set1_epi16(static_cast<short>(0x8000));
        const __m256i low = _mm256_adds_epu8(index, _mm256_set1_epi16(static_cast<short>(0xF070)));
        const __m256i high =
            _mm256_or_si256(_mm256_sub_epi16(index, _mm256_set1_epi16(16)), topBit);
        return _mm256_or_si256(_mm256_shuffle_epi8(lowTable, low),
                               _mm256_shuffle_epi8(highTable, high));
    }

    // The same for an index in each byte.
    [[gnu::target("avx2")]] __m256i inBytes(__m256i index) const
    {
        const __m256i low = _mm256_adds_epu8(index, _mm256_set1_epi8(0x70));
        const __m256i high = _mm256_sub_epi8(index, _mm256_set1_epi8(16));
        return _mm256_or_si256(_mm256_shuffle_epi8(lowTable, low),
                               _mm256_shuffle_epi8(highTable, high));
    }
};

[[gnu::target("avx2")]] inline bool isAsciiBlock(__m256i units)
{
    return _mm256_testz_si256(units, _mm256_set1_epi16(static_cast<short>(0xFF80)));
}

// Sixteen units at a time while they are all ASCII; returns where it stopped. Under a key of
// single letters each letter becomes a letter or "*" and every other ASCII unit stays itself.
[[gnu::target("avx2")]] const char16_t *translateAsciiBlocks(const char16_t *in,
                                                             const char16_t *end, char16_t *&w,
                                                             const std::array<char, 32> &letters)
{
    const LetterLookup lookUp(letters);
    for (; end - in >= Block; in += Block, w += Block) {
        const __m256i units = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(in));
        if (!isAsciiBlock(units))
            break;
        __m256i isLetter;
        const __m256i index = asciiLetterIndex(units, isLetter);
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(w),
                            _mm256_blendv_epi8(units, lookUp(index), isLetter));
    }
    return in;
}

// Adds to extra, two blocks at a time while they are all ASCII, how many units longer than its
// input their output is; returns where it stopped. The units are packed into bytes, whose order
// does not matter to a sum; anything that is no letter looks up zero, its index lying below zero
// or, for the five characters after z, at 26 to 30, where the table holds zeros.
[[gnu::target("avx2")]] const char16_t *measureAsciiBlocks(const char16_t *in, const char16_t *end,
                                                           qsizetype &extra,
                                                           const std::array<char, 32> &letterExtra)
{
    const LetterLookup lookUp(letterExtra);
    __m256i sums = _mm256_setzero_si256();
    for (; end - in >= 2 * Block; in += 2 * Block) {
        const __m256i first = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(in));
        const __m256i second = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(in + Block));
        if (!isAsciiBlock(_mm256_or_si256(first, second)))
            break;
        const __m256i bytes = _mm256_packus_epi16(first, second);
        const __m256i index =
            _mm256_sub_epi8(_mm256_or_si256(bytes, _mm256_set1_epi8(0x20)), _mm256_set1_epi8(u'a'));
        sums =
            _mm256_add_epi64(sums, _mm256_sad_epu8(lookUp.inBytes(index), _mm256_setzero_si256()));
    }
    alignas(32) std::int64_t lanes[4];
    _mm256_store_si256(reinterpret_cast<__m256i *>(lanes), sums);
    extra += lanes[0] + lanes[1] + lanes[2] + lanes[3];
    return in;
}

const bool hasAvx2 = __builtin_cpu_supports("avx2");
#endif

// Writes, while the text is ASCII, a block at a time, each piece with one fixed-size move.
template <int Units>
const char16_t *writeAsciiBlocks(const char16_t *in, const char16_t *stop, char16_t *&w,
                                 const PaddedPieces<Units> &pieces)
{
    auto *to = reinterpret_cast<char *>(w);
    for (; stop - in >= Block && isAsciiBlock(in); in += Block) {
        for (qsizetype i = 0; i < Block; ++i) {
            to += pieces.move(to, pieces.ascii[in[i]]);
        }
    }
    w = reinterpret_cast<char16_t *>(to);
    return in;
}

// Writes count units of any kind through the case table, with no branch that depends on the
// text; returns the output's end, and tells whether the table marks any of the units, for the
// group must then be done again. The mark plus one is the only value to reach bit 16.
template <int Units>
char16_t *writeGroup(const char16_t *in, qsizetype count, char16_t *w,
                     const PaddedPieces<Units> &pieces, bool &marked)
{
    const auto &upper = caseTable().upper;
    auto *to = reinterpret_cast<char *>(w);
    unsigned looks = 0;
    for (qsizetype i = 0; i < count; ++i) {
        const char16_t unit = upper[in[i]];
        looks |= unit + 1u;
        const unsigned index = slotOf(unit);
        const PaddedPiece<Units> &piece = pieces.letter[index];
        const qsizetype size = pieces.move(to, piece);
        // A unit that is no letter stands for itself, over the zero of its padded piece.
        const auto own = static_cast<char16_t>(unit & (0u - unsigned(index == LetterCount)));
        const char16_t first = piece.front() | own;
        std::memcpy(to, &first, sizeof first);
        to += size;
    }
    marked = looks >> 16;
    return reinterpret_cast<char16_t *>(to);
}

// The same under a key of single letters, through the table of what each unit becomes.
char16_t *writeGroup(const char16_t *in, qsizetype count, char16_t *w, const char16_t *unitOf,
                     bool &marked)
{
    unsigned looks = 0;
    for (qsizetype i = 0; i < count; ++i) {
        const char16_t unit = unitOf[in[i]];
        looks |= unit + 1u;
        w[i] = unit;
    }
    marked = looks >> 16;
    return w + count;
}

// The output of short pieces: ASCII blocks whole, anything else in groups of a block, each unit
// on its own; a group that meets a marked unit is done again one code point at a time.
template <int Units>
char16_t *writeShortPieces(const char16_t *in, const char16_t *stop, char16_t *w,
                           const Translation &translation, const PaddedPieces<Units> &pieces)
{
    const bool oneToOne = translation.longestPiece == 1;
    std::unique_ptr<char16_t[]> unitOf;
    while (in != stop) {
        const qsizetype left = stop - in;
        if (left >= Block && isAsciiBlock(in)) {
#if defined(__x86_64__) && defined(__GNUC__)
            if (hasAvx2 && oneToOne && translation.byteLetters) {
                in = translateAsciiBlocks(in, stop, w, translation.letterBytes);
                continue;
            }
#endif
            in = writeAsciiBlocks(in, stop, w, pieces);
            continue;
        }
        // Built at the first text that is not ASCII, when enough of it is left to repay it.
        if (oneToOne && !unitOf && left >= UnitTableWorth)
            unitOf = translation.unitTable();
        const qsizetype count = std::min(Block, left);
        bool marked = false;
        char16_t *const groupOut = w;
        if (unitOf)
            w = count == Block ? writeGroup(in, Block, w, unitOf.get(), marked)
                               : writeGroup(in, count, w, unitOf.get(), marked);
        else
            w = count == Block ? writeGroup(in, Block, w, pieces, marked)
                               : writeGroup(in, count, w, pieces, marked);
        if (!marked) {
            in += count;
            continue;
        }
        const char16_t *const groupEnd = in + count;
        w = groupOut;
        while (in < groupEnd)
            w = writePiece(in, stop, w, translation);
    }
    return w;
}

// The output of the input up to stop, written at out, which has room for it and Overrun units
// more; returns its end.
char16_t *writeOutput(const char16_t *in, const char16_t *stop, char16_t *out,
                      const Translation &translation)
{
    if (translation.longestPiece <= translation.narrow.Longest)
        return writeShortPieces(in, stop, out, translation, translation.narrow);
    if (translation.longestPiece <= translation.wide.Longest)
        return writeShortPieces(in, stop, out, translation, translation.wide);
    while (in != stop)
        out = writePiece(in, stop, out, translation);
    return out;
}

// Counts, while the text is ASCII, a block at a time: adds the output's length to length.
const char16_t *measureAsciiBlocks(const char16_t *in, const char16_t *end, qsizetype &length,
                                   const Translation &translation)
{
#if defined(__x86_64__) && defined(__GNUC__)
    if (hasAvx2) {
        const char16_t *const start = in;
        in = measureAsciiBlocks(in, end, length, translation.letterExtra);
        length += in - start;
        return in;
    }
#endif
    for (; end - in >= Block && isAsciiBlock(in); in += Block) {
        for (qsizetype i = 0; i < Block; ++i)
            length += translation.asciiLength[in[i]];
    }
    return in;
}

// How far the input is read, and how long its output is.
struct Extent
{
    const char16_t *stop = nullptr;
    qsizetype length = 0;
};

// Measures the output of the input without building it, stopping after the character whose
// piece brings it to limit units. The same paths as writeOutput, counting instead of copying.
Extent measureOutput(const char16_t *in, const char16_t *end, const Translation &translation,
                     qsizetype limit)
{
    // Chunks are counted in whole while even the longest pieces could not reach the limit.
    constexpr qsizetype Chunk = 64 * Block;
    const bool shortPieces = translation.longestPiece <= translation.wide.Longest;
    // What a chunk, and the pair it may end inside, can add at most.
    const qsizetype chunkMost = (Chunk + 1) * std::max<qsizetype>(translation.longestPiece, 2);
    const auto &upper = caseTable().upper;
    qsizetype length = 0;
    std::array<char16_t, 2> spare;
    while (in != end && length < limit) {
        if (!shortPieces || end - in < Chunk || limit - length <= chunkMost) {
            length += readPiece(in, end, translation, spare).size();
            continue;
        }
        const char16_t *const chunkEnd = in + Chunk;
        while (in < chunkEnd) {
            in = measureAsciiBlocks(in, chunkEnd, length, translation);
            const char16_t *const groupStart = in;
            const char16_t *const groupEnd = in + std::min<qsizetype>(Block, chunkEnd - in);
            const qsizetype groupLength = length;
            bool marked = false;
            for (; in < groupEnd; ++in) {
                const char16_t unit = upper[*in];
                marked |= unit == LookCloser;
                length += translation.letterLength[slotOf(unit)];
            }
            if (marked) {
                in = groupStart;
                length = groupLength;
                while (in < groupEnd)
                    length += readPiece(in, end, translation, spare).size();
            }
        }
    }
    return {in, length};
}

// A string to write an output of length units into, with Overrun units to spare.
//
// A fresh output of a whole book is mostly the cost of faulting in its pages, which huge pages
// cut by a factor of the pages' sizes. Only whole huge pages inside the
// untouched memory can be advised, and a large allocation rarely starts or ends on one, so the
// 4 KiB pages at its two edges, up to 4 MiB, would cost as much as all the rest. A large output
// therefore gets up to a huge page more at either end: its start moves to the first huge-page
// boundary (Qt 6 erases from the front by moving the start, so the memory skipped stays
// untouched), and its end reaches the next one. The string never grows, so the mapping that the
// advice splits is never copied; the kernel may ignore the advice.
QString outputBuffer(qsizetype length)
{
#ifdef MADV_HUGEPAGE
    constexpr qsizetype hugePage = qsizetype(1) << 21;
    constexpr qsizetype hugeUnits = hugePage / qsizetype(sizeof(char16_t));
    if (length >= hugeUnits) {
        QString buffer(length + Overrun + 2 * hugeUnits, Qt::Uninitialized);
        const auto start = reinterpret_cast<std::uintptr_t>(buffer.constData());
        if (const auto skip = qsizetype((hugePage - start % hugePage) % hugePage))
            buffer.remove(0, skip / qsizetype(sizeof(char16_t)));
        const qsizetype used = (length + Overrun) * qsizetype(sizeof(char16_t));
        madvise(buffer.data(), (used + hugePage - 1) / hugePage * hugePage, MADV_HUGEPAGE);
        return buffer;
    }
#endif
    return QString(length + Overrun, Qt::Uninitialized);
}

} // namespace

namespace FastPath {

QString apply(const ReplaceKey &key, QStringView input, qsizetype maxLength)
{
    const Translation translation(key);
    const char16_t *const begin = input.utf16();
    const char16_t *const end = begin + input.size();
    // One unit past the limit is built where there is one, to tell whether the cut splits a pair.
    const qsizetype limit =
        maxLength < std::numeric_limits<qsizetype>::max() ? maxLength + 1 : maxLength;
    // The output is measured first and written once into a string of its exact size: a string
    // that grows is copied, and a copy of fresh memory costs its page faults over again.
    Extent extent;
    if (translation.keepsLength()) {
        // A pair that the limit splits is read as two lone surrogates, which changes only the
        // unit past the limit, and that one stays no low surrogate either way.
        const qsizetype length = std::min(input.size(), limit);
        extent = {begin + length, length};
    } else {
        extent = measureOutput(begin, end, translation, limit);
    }

    QString output = outputBuffer(extent.length);
    char16_t *const out = reinterpret_cast<char16_t *>(output.data());
    [[maybe_unused]] const char16_t *const written =
        writeOutput(begin, extent.stop, out, translation);
    Q_ASSERT(written == out + extent.length);
    output.resize(extent.length);
    if (output.size() > maxLength)
        output.truncate(cutBetweenCharacters(output, maxLength));
    return output;
}

qsizetype length(const ReplaceKey &key, QStringView input)
{
    const Translation translation(key);
    if (translation.keepsLength())
        return input.size();
    const char16_t *const begin = input.utf16();
    return measureOutput(begin, begin + input.size(), translation,
                         std::numeric_limits<qsizetype>::max())
        .length;
}

} // namespace FastPath
