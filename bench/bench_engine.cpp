// Engine throughput: ApplyKey over 100 MB texts, against coreutils tr on the same text.
//
// Prints the median of several runs for each case, the peak memory, and last the ratio of the
// engine's characters per second to tr's bytes per second on the same English-like text.

#include "benchtext.h"
#include "substitution.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryFile>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

using namespace BenchText;

constexpr qsizetype TextSize = 100'000'000;
constexpr int Runs = 5;

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

// The median time of ApplyKey over the whole text; outputLength checks that it built it all.
double runMedianMs(const KeyEntries &key, const QString &text, qsizetype outputLength)
{
    std::vector<double> times;
    for (int run = 0; run < Runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        const QString output = ApplyKey(key, text);
        times.push_back(timer.nsecsElapsed() / 1e6);
        if (output.size() != outputLength) {
            std::fprintf(stderr, "ApplyKey built %lld characters, not %lld\n",
                         static_cast<long long>(output.size()),
                         static_cast<long long>(outputLength));
            std::exit(1);
        }
    }
    return median(times);
}

// tr from a file to /dev/null, with the same key for lower and upper case.
double trMedianMs(const QString &path, const QString &alphabet)
{
    const QByteArray from = "a-zA-Z";
    const QByteArray to = (alphabet.toLower() + alphabet.toLower()).toLatin1();
    std::vector<double> times;
    for (int run = 0; run < Runs; ++run) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, path.toLocal8Bit().constData(), O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        char *argv[] = {const_cast<char *>("tr"), const_cast<char *>(from.constData()),
                        const_cast<char *>(to.constData()), nullptr};
        QElapsedTimer timer;
        timer.start();
        pid_t pid = 0;
        if (posix_spawnp(&pid, "tr", &actions, nullptr, argv, environ) != 0) {
            std::fprintf(stderr, "cannot start tr\n");
            std::exit(1);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        times.push_back(timer.nsecsElapsed() / 1e6);
        posix_spawn_file_actions_destroy(&actions);
    }
    return median(times);
}

void printRow(const char *name, qsizetype characters, double ms)
{
    std::printf("%-58s %11lld %9.1f %10.0f\n", name, static_cast<long long>(characters), ms,
                characters / ms / 1e3);
}

qsizetype codePoints(const QString &text)
{
    return text.size() -
           std::count_if(text.begin(), text.end(), [](QChar c) { return c.isLowSurrogate(); });
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

    std::printf("%-58s %11s %9s %10s\n", "case (median of 5 runs)", "characters", "ms", "Mchars/s");

    double engineMs = 0;
    double trMs = 0;
    {
        const QString text = englishLikeText(TextSize, englishWords());
        QTemporaryFile file;
        if (!file.open() || file.write(text.toLatin1()) != TextSize || !file.flush()) {
            std::fprintf(stderr, "cannot write the text for tr\n");
            return 1;
        }
        engineMs = runMedianMs(fullKey, text, text.size());
        const qsizetype mixedLength = ApplyKey(mixedKey, text).size();
        printRow("(a) English-like ASCII, key of 26 single letters", TextSize, engineMs);
        printRow("(b) same text, six entries of 2-3 letters, four empty", TextSize,
                 runMedianMs(mixedKey, text, mixedLength));
        trMs = trMedianMs(file.fileName(), alphabet);
        printRow("reference: tr on the text of (a), bytes", TextSize, trMs);
    }
    {
        const QString text = englishLikeText(TextSize, mixedWords);
        const qsizetype characters = codePoints(text);
        const qsizetype ascii =
            std::count_if(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
        char name[80];
        std::snprintf(name, sizeof name, "(c) %.0f%% non-ASCII characters, key of single letters",
                      100.0 * (characters - ascii) / characters);
        printRow(name, characters, runMedianMs(fullKey, text, text.size()));
    }

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak resident memory: %.0f MB (input and output of (a): %.0f MB as UTF-16)\n",
                usage.ru_maxrss / 1024.0, 2 * 2 * TextSize / 1e6);
    // Characters per second against bytes per second, on the same text and the same key.
    std::printf("engine/tr throughput ratio: %.2f\n", trMs / engineMs);
    return 0;
}
