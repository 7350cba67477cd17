// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Shared by the benchmarks: English-like text made the same way every run, and medians.
#pragma once

#include <QRandomGenerator>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <vector>

namespace BenchText {

// Words in their rough English frequencies.
inline const QStringList &englishWords()
{
    static const QStringList words =
        QStringLiteral(
            "the of and to in a is that for it as was with be by on not he I this are or his from "
            "at which but have an they you were her she there been one all we their has would when "
            "if can more no out so said what up its about into than them only other new some could "
            "time these two may first then do any like my now over such our man me even most made "
            "after also did Many Before must through back years where much your way well down "
            "should because each just Those people Mr how too little state good very make world "
            "still own see men work long get here between both life being under never day same "
            "another know while last might us great")
            .split(u' ');
    return words;
}

// Words drawn from the list, with commas and full stops, in lines of about lineLength
// characters; a lineLength of 0 makes one single line.
inline QString englishLikeText(qsizetype size, const QStringList &words, int lineLength = 70)
{
    QRandomGenerator random(42);
    QString text;
    text.reserve(size + 100);
    qsizetype lineStart = 0;
    while (text.size() < size) {
        text += words[random.bounded(int(words.size()))];
        if (random.bounded(12) == 0)
            text += random.bounded(3) == 0 ? u'.' : u',';
        if (lineLength > 0 && text.size() - lineStart > lineLength - 8) {
            text += u'\n';
            lineStart = text.size();
        } else {
            text += u' ';
        }
    }
    text.truncate(size);
    return text;
}

inline double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace BenchText
