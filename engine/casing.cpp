// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "casing.h"

#include "substitution.h"

#include <QStringView>

#include <unicode/uchar.h>
#include <unicode/uset.h>

#include <algorithm>
#include <memory>

namespace {

// A character whose simple upper case differs from itself changes when upper-cased, so ICU's set
// of those (a few hundred ranges, kept by ICU) bounds the supplementary characters that may
// change; asking ICU about each of the million code points would take milliseconds. Without the
// set every high surrogate is marked: slower, never wrong.
void markChangingSupplementary(CaseTable &table)
{
    UErrorCode status = U_ZERO_ERROR;
    USet *changing = uset_openEmpty();
    uset_applyIntPropertyValue(changing, UCHAR_CHANGES_WHEN_UPPERCASED, 1, &status);
    if (U_FAILURE(status)) {
        std::fill(&table.upper[0xD800], &table.upper[0xDC00], LookCloser);
        table.keepsLength = false;
    }
    for (int32_t item = 0; U_SUCCESS(status) && item < uset_getItemCount(changing); ++item) {
        UChar32 first = 0;
        UChar32 last = 0;
        UErrorCode itemStatus = U_ZERO_ERROR;
        if (uset_getItem(changing, item, &first, &last, nullptr, 0, &itemStatus) != 0)
            continue; // a string, which no property set holds
        for (UChar32 c = std::max<UChar32>(first, 0x10000); c <= last; ++c) {
            table.upper[QChar::highSurrogate(static_cast<char32_t>(c))] = LookCloser;
            table.keepsLength = table.keepsLength && u_toupper(c) >= 0x10000;
        }
    }
    uset_close(changing);
}

} // namespace

// ICU's simple upper-case mapping of the Basic Multilingual Plane, looked up once: asking ICU
// for every character of a long non-Latin text costs several times the rest of the transform.
const CaseTable &caseTable()
{
    static const auto table = [] {
        auto built = std::make_unique<CaseTable>();
        for (char32_t c = 0; c < 0x10000; ++c) {
            const auto mapped = static_cast<char32_t>(u_toupper(static_cast<UChar32>(c)));
            built->upper[c] = mapped < 0x10000 ? static_cast<char16_t>(mapped) : LookCloser;
            built->keepsLength = built->keepsLength && mapped < 0x10000;
        }
        built->upper[LookCloser] = LookCloser;
        markChangingSupplementary(*built);
        return built;
    }();
    return *table;
}

char32_t upperCodePoint(char32_t c)
{
    if (c < 0x10000) {
        if (const char16_t upper = caseTable().upper[c]; upper != LookCloser)
            return upper;
    }
    // Lone surrogates come here too; ICU maps them to themselves.
    return static_cast<char32_t>(u_toupper(static_cast<UChar32>(c)));
}

QString SimpleUpperCase(QStringView text)
{
    const char16_t *in = text.utf16();
    const char16_t *const end = in + text.size();
    QString upper;
    upper.reserve(text.size());
    while (in != end) {
        const char32_t c = upperCodePoint(nextCodePoint(in, end));
        if (QChar::requiresSurrogates(c)) {
            upper += QChar(QChar::highSurrogate(c));
            upper += QChar(QChar::lowSurrogate(c));
        } else {
            upper += QChar(static_cast<char16_t>(c));
        }
    }
    return upper;
}
