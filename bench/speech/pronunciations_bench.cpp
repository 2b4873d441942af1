// What the user's pronunciations cost before the first sound: the time to
// apply lists of rules to texts of growing size (the voice waits for it once
// per Play; a restart in the same text reuses it), and a pattern that
// backtracks without end, which is to stop at its budget. Median of five runs.
//
//   pronunciations_bench
#include "speech/voice/pronunciations.h"

#include <QElapsedTimer>
#include <QString>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// Prose: 70-character lines.
QString Prose(qsizetype lines) {
    return QStringLiteral("The quick brown fox jumps over the lazy dog while the WHO reads "
                          "it.\n")
        .repeated(lines);
}

std::vector<PronunciationRule> Rules(int count) {
    std::vector<PronunciationRule> rules;
    for (int i = 0; i < count; ++i) {
        PronunciationRule rule;
        // Every fifth a pattern; one word that occurs in every line.
        rule.pattern = i % 5 == 4;
        rule.find = i == 0         ? QStringLiteral("WHO")
                    : rule.pattern ? QStringLiteral("[Nn]ame%1s?").arg(i)
                                   : QStringLiteral("Name%1").arg(i);
        rule.say = QStringLiteral("World Health Organization");
        rules.push_back(rule);
    }
    return rules;
}

double MedianMs(const Pronunciations &list, const QString &text) {
    std::vector<double> runs;
    for (int i = 0; i < 5; ++i) {
        QElapsedTimer timer;
        timer.start();
        const SpokenText said = list.Apply(text, QStringLiteral("en-us"));
        runs.push_back(double(timer.nsecsElapsed()) / 1e6);
        if (said.text.isEmpty())
            return -1;
    }
    std::sort(runs.begin(), runs.end());
    return runs[2];
}

} // namespace

int main() {
    std::printf("%-10s %8s %8s %8s %8s\n", "text", "1 rule", "10", "50", "catastrophic");
    for (const qsizetype lines : {qsizetype(15), qsizetype(1500), qsizetype(15000)}) {
        const QString text = Prose(lines);
        std::printf("%7lld KB", static_cast<long long>(text.size() / 1000));
        for (const int count : {1, 10, 50})
            std::printf(" %6.2fms", MedianMs(Pronunciations(Rules(count)), text));
        PronunciationRule bad;
        bad.find = QStringLiteral("(a|aa)+$");
        bad.pattern = true;
        bad.wholeWord = false;
        // Lines where it backtracks at every letter.
        const QString letters = (QString(69, u'a') + QStringLiteral("b\n")).repeated(lines);
        std::printf(" %6.2fms\n", MedianMs(Pronunciations({bad}), letters));
    }
    return 0;
}
