#include "substitution.h"

#include <QStringView>

#include <unicode/uchar.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

#ifdef Q_OS_LINUX
#include <sys/mman.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

namespace {

constexpr bool isLetter(char32_t c)
{
    return c >= u'A' && c <= u'Z';
}

// ICU's simple upper-case mapping of the Basic Multilingual Plane, looked up once: asking ICU
// for every character of a long non-Latin text costs several times the rest of the transform.
// Zero marks a character whose upper case lies outside the plane (none in Unicode 15).
const std::array<char16_t, 0x10000> &bmpUpper()
{
    static const auto table = [] {
        auto upper = std::make_unique<std::array<char16_t, 0x10000>>();
        for (char32_t c = 0; c < 0x10000; ++c) {
            const auto mapped = static_cast<char32_t>(u_toupper(static_cast<UChar32>(c)));
            (*upper)[c] = mapped < 0x10000 ? static_cast<char16_t>(mapped) : 0;
        }
        return upper;
    }();
    return *table;
}

char32_t upperCodePoint(char32_t c)
{
    if (c < 0x80)
        return c >= u'a' && c <= u'z' ? c - (u'a' - u'A') : c;
    if (c < 0x10000) {
        // Lone surrogates come here too; ICU maps them to themselves.
        if (const char16_t upper = bmpUpper()[c])
            return upper;
    }
    return static_cast<char32_t>(u_toupper(static_cast<UChar32>(c)));
}

// Reads one code point and advances; a lone surrogate is returned as it stands.
char32_t nextCodePoint(const char16_t *&in, const char16_t *end)
{
    const char16_t first = *in++;
    if (QChar::isHighSurrogate(first) && in != end && QChar::isLowSurrogate(*in))
        return QChar::surrogateToUcs4(first, *in++);
    return first;
}

// Appends to a QString through a raw pointer. Room is checked once per piece, or once per
// ASCII run, so the inner loops stay free of capacity tests and of QString's own bookkeeping.
class OutputBuffer
{
public:
    explicit OutputBuffer(qsizetype capacity)
        : m_text(capacity, Qt::Uninitialized)
    {
        rebase(0);
        preferHugePages();
    }

    // Makes room for at least n more units and returns where to write them.
    char16_t *room(qsizetype n)
    {
        if (m_end - m_cursor < n) {
            const qsizetype used = m_cursor - m_begin;
            m_text.resize(std::max(2 * m_text.size(), used + n));
            rebase(used);
            preferHugePages();
        }
        return m_cursor;
    }

    void commit(char16_t *cursor) { m_cursor = cursor; }
    qsizetype size() const { return m_cursor - m_begin; }

    void append(QStringView piece)
    {
        char16_t *w = room(piece.size());
        commit(std::copy(piece.utf16(), piece.utf16() + piece.size(), w));
    }

    void appendCodePoint(char32_t c)
    {
        char16_t *w = room(2);
        if (QChar::requiresSurrogates(c)) {
            *w++ = QChar::highSurrogate(c);
            *w++ = QChar::lowSurrogate(c);
        } else {
            *w++ = static_cast<char16_t>(c);
        }
        commit(w);
    }

    QString take()
    {
        m_text.resize(m_cursor - m_begin);
        return std::move(m_text);
    }

private:
    // A fresh output of a whole book is mostly the cost of faulting in its pages: with 4 KiB
    // pages, 200 MB take about 200 ms here, with 2 MiB pages about 35 ms. Only whole huge pages
    // inside the untouched buffer are advised; the kernel may ignore the advice.
    void preferHugePages()
    {
#ifdef Q_OS_LINUX
        constexpr std::uintptr_t hugePage = std::uintptr_t(1) << 21;
        const auto first =
            (reinterpret_cast<std::uintptr_t>(m_cursor) + hugePage - 1) & ~(hugePage - 1);
        const auto last = reinterpret_cast<std::uintptr_t>(m_end) & ~(hugePage - 1);
        if (last > first)
            madvise(reinterpret_cast<void *>(first), last - first, MADV_HUGEPAGE);
#endif
    }

    void rebase(qsizetype used)
    {
        m_begin = reinterpret_cast<char16_t *>(m_text.data());
        m_cursor = m_begin + used;
        m_end = m_begin + m_text.size();
    }

    QString m_text;
    char16_t *m_begin = nullptr;
    char16_t *m_cursor = nullptr;
    char16_t *m_end = nullptr;
};

// Every ASCII character as a one-unit string, for pieces that stand for themselves.
constexpr auto asciiCharacters = [] {
    std::array<char16_t, 128> table{};
    for (char16_t c = 0; c < 128; ++c)
        table[c] = c;
    return table;
}();

// What each letter becomes, and what each ASCII character becomes after upper-casing,
// worked out once per call so that the loop over the text only looks pieces up.
struct Translation
{
    std::array<QStringView, LetterCount> letterPiece;
    std::array<QStringView, 128> asciiPiece;
    // Set when every ASCII character becomes exactly one unit; asciiUnit then holds it.
    bool asciiOneToOne = true;
    std::array<char16_t, 128> asciiUnit{};
    qsizetype longestAsciiPiece = 1;
    // When no ASCII piece is longer than four units, each also padded to four, so that it is
    // copied with one fixed-size move and the cursor then advances by its true length.
    static constexpr qsizetype ShortPiece = 4;
    std::array<std::array<char16_t, ShortPiece>, 128> asciiPadded{};
    // Under a key of single letters, the byte each letter becomes, A first, for table lookups
    // sixteen characters at a time.
    alignas(16) std::array<char, 32> letterBytes{};

    explicit Translation(const ReplaceKey &key)
    {
        static const QString missing = QStringLiteral("*");
        for (int k = 0; k < LetterCount; ++k) {
            const QString &slot = key.slot[k];
            letterPiece[k] = isLetter(slot.front().unicode()) ? QStringView(slot) : missing;
        }
        for (char32_t c = 0; c < 128; ++c) {
            const char32_t upper = upperCodePoint(c);
            asciiPiece[c] = isLetter(upper) ? letterPiece[upper - u'A']
                                            : QStringView(&asciiCharacters[upper], 1);
            asciiOneToOne = asciiOneToOne && asciiPiece[c].size() == 1;
            asciiUnit[c] = asciiPiece[c].front().unicode();
            longestAsciiPiece = std::max(longestAsciiPiece, asciiPiece[c].size());
            std::copy_n(asciiPiece[c].utf16(), std::min(asciiPiece[c].size(), ShortPiece),
                        asciiPadded[c].begin());
        }
        for (int k = 0; k < LetterCount; ++k)
            letterBytes[k] = static_cast<char>(asciiUnit[u'A' + k]);
    }
};

#if defined(__x86_64__) && defined(__GNUC__)
// Sixteen units at a time while they are all ASCII; returns where it stopped. Every letter of
// the block is folded to its index 0 to 25 and looked up in two 16-byte tables, since under a
// key of single letters each letter becomes a letter and every other ASCII unit stays itself.
[[gnu::target("avx2")]] const char16_t *translateAsciiBlocks(const char16_t *in,
                                                             const char16_t *end, char16_t *&w,
                                                             const std::array<char, 32> &letters)
{
    const __m128i low = _mm_load_si128(reinterpret_cast<const __m128i *>(letters.data()));
    const __m128i high = _mm_load_si128(reinterpret_cast<const __m128i *>(letters.data() + 16));
    const __m256i lowTable = _mm256_broadcastsi128_si256(low);
    const __m256i highTable = _mm256_broadcastsi128_si256(high);
    const __m256i nonAscii = _mm256_set1_epi16(static_cast<short>(0xFF80));
    const __m256i caseBit = _mm256_set1_epi16(0x20);
    const __m256i lowerA = _mm256_set1_epi16(u'a');
    const __m256i minusOne = _mm256_set1_epi16(-1);
    const __m256i fifteen = _mm256_set1_epi16(15);
    const __m256i letterCount = _mm256_set1_epi16(LetterCount);
    const __m256i lowByte = _mm256_set1_epi16(0x00FF);
    for (; end - in >= 16; in += 16, w += 16) {
        const __m256i units = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(in));
        if (!_mm256_testz_si256(units, nonAscii))
            break;
        // Index 0 to 25 for a to z and A to Z alike; anything else falls outside.
        const __m256i index = _mm256_sub_epi16(_mm256_or_si256(units, caseBit), lowerA);
        const __m256i isLetter = _mm256_and_si256(_mm256_cmpgt_epi16(index, minusOne),
                                                  _mm256_cmpgt_epi16(letterCount, index));
        const __m256i fromLow = _mm256_shuffle_epi8(lowTable, index);
        const __m256i fromHigh =
            _mm256_shuffle_epi8(highTable, _mm256_sub_epi16(index, _mm256_set1_epi16(16)));
        const __m256i mapped = _mm256_and_si256(
            _mm256_blendv_epi8(fromLow, fromHigh, _mm256_cmpgt_epi16(index, fifteen)), lowByte);
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(w),
                            _mm256_blendv_epi8(units, mapped, isLetter));
    }
    return in;
}

const bool hasAvx2 = __builtin_cpu_supports("avx2");
#endif

// The common case: a run of ASCII text under a key of single letters, one unit in, one out.
const char16_t *translateAsciiRun(const char16_t *in, const char16_t *end, OutputBuffer &out,
                                  const Translation &translation)
{
    char16_t *w = out.room(end - in);
#if defined(__x86_64__) && defined(__GNUC__)
    if (hasAvx2 && end - in >= 16)
        in = translateAsciiBlocks(in, end, w, translation.letterBytes);
#endif
    while (in != end && *in < 0x80)
        *w++ = translation.asciiUnit[*in++];
    out.commit(w);
    return in;
}

// A run of ASCII text under a key with longer entries. Room is made once per chunk of the run,
// for the longest piece throughout, so that copying each piece needs no check; the run stops
// at the first chunk that ends at or past maxLength.
const char16_t *translateAsciiPieces(const char16_t *in, const char16_t *end, OutputBuffer &out,
                                     const Translation &translation, qsizetype maxLength)
{
    const qsizetype longest = translation.longestAsciiPiece;
    const bool padded = longest <= Translation::ShortPiece;
    const qsizetype chunk = std::max<qsizetype>(1, 4096 / longest);
    while (in != end && *in < 0x80 && out.size() < maxLength) {
        const char16_t *const stop = in + std::min<qsizetype>(chunk, end - in);
        char16_t *w = out.room(chunk * longest + Translation::ShortPiece);
        while (in != stop && *in < 0x80) {
            const char16_t c = *in++;
            const qsizetype length = translation.asciiPiece[c].size();
            if (padded)
                std::memcpy(w, translation.asciiPadded[c].data(),
                            sizeof translation.asciiPadded[c]);
            else
                std::copy_n(translation.asciiPiece[c].utf16(), length, w);
            w += length;
        }
        out.commit(w);
    }
    return in;
}

} // namespace

ReplaceKey::ReplaceKey(const KeyEntries &entries)
{
    for (int k = 0; k < LetterCount; ++k) {
        slot[k] = SimpleUpperCase(entries[k]);
        if (slot[k].isEmpty())
            slot[k] = QStringLiteral(" ");
    }
}

QString SimpleUpperCase(const QString &text)
{
    const char16_t *in = QStringView(text).utf16();
    const char16_t *const end = in + text.size();
    OutputBuffer out(text.size());
    while (in != end)
        out.appendCodePoint(upperCodePoint(nextCodePoint(in, end)));
    return out.take();
}

QString ApplyKey(const KeyEntries &entries, const QString &input, qsizetype maxLength)
{
    const ReplaceKey key(entries);
    const Translation translation(key);

    const char16_t *in = QStringView(input).utf16();
    const char16_t *const end = in + input.size();
    OutputBuffer out(std::min(input.size(), maxLength));
    // Each step below writes at most one chunk of pieces past the limit before it is checked.
    while (in != end && out.size() < maxLength) {
        if (*in < 0x80) {
            if (translation.asciiOneToOne) {
                // One unit out for each unit in: the run can stop exactly at the limit.
                const char16_t *const stop =
                    in + std::min<qsizetype>(end - in, maxLength - out.size());
                in = translateAsciiRun(in, stop, out, translation);
                continue;
            }
            in = translateAsciiPieces(in, end, out, translation, maxLength);
            continue;
        }
        const char32_t upper = upperCodePoint(nextCodePoint(in, end));
        if (isLetter(upper))
            out.append(translation.letterPiece[upper - u'A']); // "ı" and "ſ" upper-case to I, S
        else
            out.appendCodePoint(upper);
    }
    QString output = out.take();
    if (output.size() > maxLength) {
        // Cut before a surrogate pair rather than through it.
        const bool splitsPair =
            output.at(maxLength - 1).isHighSurrogate() && output.at(maxLength).isLowSurrogate();
        output.truncate(maxLength - (splitsPair ? 1 : 0));
    }
    return output;
}

QString KeyString(const KeyEntries &entries)
{
    QString key;
    for (const KeyEntry &entry : entries)
        key += entry.isEmpty() ? QStringLiteral("*") : entry;
    return key;
}

QString ExportText(const QString &output, const QString &keyString)
{
    return output + u"\r\n" + keyString;
}
