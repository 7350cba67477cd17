// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Engine throughput: ApplyKey over texts of 1 MB and 10 MB, against two references measured in
// the same run: memcpy of the same output bytes into memory already in place, and coreutils tr
// on the same ASCII text.
//
// Times are CPU time (this thread's; for tr, the child's user and system time), so that another
// process on a shared machine delays a run without counting in it. Engine and memcpy runs
// alternate, and each figure is the median of its runs.

#include "benchtext.h"
#include "substitution.h"

#include <QTemporaryFile>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

using namespace BenchText;

constexpr int Runs = 21;
constexpr int TrRuns = 11;

// About 30% of the characters outside ASCII: accented Latin, Greek, Cyrillic, CJK, emoji.
const QStringList nonAsciiWords =
    QStringLiteral(
        "café naïve señor über façade déjà Ελλάδα λόγος καλημέρα Москва дружба спасибо 東京 漢字 "
        "日本語 中文 😀 🎉 👍🏽 élan fjörð ΑΒΓ жизнь 北京 🚀 Œuvre "
        "ætat "
        "ĳssel "
        "Ἀθῆναι")
        .split(u' ');

const QStringList mixedWords = [] {
    QStringList words = englishWords();
    for (int i = 0; i < 5; ++i)
        words += nonAsciiWords;
    return words;
}();

double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

struct Case
{
    const char *name;
    KeyEntries key;
    QString text;
    qsizetype characters = 0; // code points, what the throughput counts
    qsizetype outputLength = 0;
    std::vector<double> engineMs = {};
    std::vector<double> memcpyMs = {};
};

// One run of ApplyKey; the length check keeps the call from being optimised away and proves that
// the whole output was built.
void runEngine(Case &c)
{
    const double start = threadCpuMs();
    const QString output = ApplyKey(c.key, c.text);
    c.engineMs.push_back(threadCpuMs() - start);
    if (output.size() != c.outputLength) {
        std::fprintf(stderr, "ApplyKey built %lld characters, not %lld\n",
                     static_cast<long long>(output.size()), static_cast<long long>(c.outputLength));
        std::exit(1);
    }
}

// The floor under any transform: the same output bytes copied into memory that is already
// there (allocated and touched once per case), so that only the copy counts.
void runMemcpy(Case &c, const QString &output, QString &destination)
{
    const double start = threadCpuMs();
    std::memcpy(destination.data(), output.constData(), output.size() * sizeof(QChar));
    c.memcpyMs.push_back(threadCpuMs() - start);
    if (destination.back() != output.back())
        std::exit(1);
}

// tr from a file to /dev/null, with the same key for lower and upper case; the child's CPU time.
double trMedianMs(const QString &path, const QString &alphabet)
{
    const QByteArray from = "a-zA-Z";
    const QByteArray to = (alphabet.toLower() + alphabet.toLower()).toLatin1();
    std::vector<double> times;
    for (int run = 0; run < TrRuns; ++run) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, path.toLocal8Bit().constData(), O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        char *argv[] = {const_cast<char *>("tr"), const_cast<char *>(from.constData()),
                        const_cast<char *>(to.constData()), nullptr};
        pid_t pid = 0;
        if (posix_spawnp(&pid, "tr", &actions, nullptr, argv, environ) != 0) {
            std::fprintf(stderr, "cannot start tr\n");
            std::exit(1);
        }
        int status = 0;
        rusage usage{};
        wait4(pid, &status, 0, &usage);
        const auto ms = [](timeval t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
        times.push_back(ms(usage.ru_utime) + ms(usage.ru_stime));
        posix_spawn_file_actions_destroy(&actions);
    }
    return median(times);
}

qsizetype codePoints(const QString &text)
{
    return text.size() -
           std::count_if(text.begin(), text.end(), [](QChar c) { return c.isLowSurrogate(); });
}

double megaPerSecond(qsizetype count, double ms)
{
    return count / ms / 1e3;
}

} // namespace

int main()
{
    const QString alphabet = u"QWERTYUIOPASDFGHJKLZXCVBNM"_s;
    KeyEntries fullKey;
    for (int k = 0; k < LetterCount; ++k)
        fullKey[k] = alphabet.mid(k, 1);
    KeyEntries mixedKey = fullKey;
    for (int k : {0, 4, 8, 14, 19, 20})
        mixedKey[k] = k % 2 ? u"qu"_s : u"ght"_s;
    for (int k : {3, 11, 17, 22})
        mixedKey[k].clear();

    std::printf("median of %d runs each, CPU time; memcpy: the same output into memory already "
                "in place\n%-5s %-58s %9s %9s %9s %9s %7s\n",
                Runs, "size", "case", "engine ms", "Mchar/s", "memcpy ms", "Mchar/s", "ratio");
    qsizetype largestSize = 0;
    for (const qsizetype size : {qsizetype(1) << 20, qsizetype(10) << 20}) {
        const char *label = size == qsizetype(1) << 20 ? "1MB" : "10MB";
        const QString ascii = englishLikeText(size, englishWords());
        const QString mixed = englishLikeText(size, mixedWords);
        const qsizetype mixedCharacters = codePoints(mixed);
        const qsizetype mixedAscii =
            std::count_if(mixed.begin(), mixed.end(), [](QChar c) { return c.unicode() < 0x80; });
        char mixedName[80];
        std::snprintf(mixedName, sizeof mixedName,
                      "(c) %.0f%% non-ASCII characters, key of single letters",
                      100.0 * (mixedCharacters - mixedAscii) / mixedCharacters);
        Case cases[] = {
            {"(a) English-like ASCII, key of 26 single letters", fullKey, ascii, size},
            {"(b) same text, six entries of 2-3 letters, four empty", mixedKey, ascii, size},
            {mixedName, fullKey, mixed, mixedCharacters},
        };
        std::vector<QString> outputs;
        std::vector<QString> destinations;
        for (Case &c : cases) {
            outputs.push_back(ApplyKey(c.key, c.text));
            c.outputLength = outputs.back().size();
            destinations.push_back(QString(c.outputLength, u' '));
        }
        for (int run = 0; run < Runs; ++run) {
            for (std::size_t i = 0; i < std::size(cases); ++i) {
                runEngine(cases[i]);
                runMemcpy(cases[i], outputs[i], destinations[i]);
            }
        }
        for (const Case &c : cases) {
            const double engineMs = median(c.engineMs);
            const double memcpyMs = median(c.memcpyMs);
            std::printf("%-5s %-58s %9.2f %9.0f %9.2f %9.0f %7.2f\n", label, c.name, engineMs,
                        megaPerSecond(c.characters, engineMs), memcpyMs,
                        megaPerSecond(c.characters, memcpyMs), memcpyMs / engineMs);
        }
        outputs.clear();
        destinations.clear();

        QTemporaryFile file;
        if (!file.open() || file.write(ascii.toLatin1()) != size || !file.flush()) {
            std::fprintf(stderr, "cannot write the text for tr\n");
            return 1;
        }
        const double trMs = trMedianMs(file.fileName(), alphabet);
        const double engineMs = median(cases[0].engineMs);
        std::printf("%-5s %-58s %9.2f %9.0f   (engine/tr throughput ratio %.2f)\n", label,
                    "reference: tr on the text of (a), bytes", trMs, megaPerSecond(size, trMs),
                    trMs / engineMs);
        largestSize = size;
    }

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak resident memory: %.0f MB (input and output of (a) at the largest size: %.0f "
                "MB as UTF-16)\n",
                usage.ru_maxrss / 1024.0, 2 * 2 * largestSize / 1e6);
    return 0;
}
