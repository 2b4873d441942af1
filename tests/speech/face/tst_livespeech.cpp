// The speech control as a listener follows it: the mouth and the words track
// the played position (a fake clock here, so the test decides what has been
// heard), live pitch and speed changes restart at the right word, and voices.
#include "memoryaudiooutput.h"
#include "signalanalysis.h"
#include "speech/face/espeakspeechcontrol.h"
#include "speech/face/pronunciationswindow.h"
#include "speech/voice/speechengine.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QPointer>
#include <QSignalSpy>
#include <QtTest>
#include <atomic>

namespace {

class FakeClock final : public PlaybackClock {
public:
    std::uint64_t PlayedSamples() const override { return played; }
    std::atomic<std::uint64_t> played{0};
};

// A control whose sink takes all audio at once while the fake clock says how
// much of it has been heard.
struct Listener {
    Listener() {
        auto output = std::make_unique<MemoryAudioOutput>();
        sink = output.get();
        control = std::make_unique<EspeakSpeechControl>(std::move(output), clock);
        QObject::connect(
            control.get(), &SpeechControl::WordReached,
            [this](qsizetype start, qsizetype length) { heard << text.mid(start, length); });
    }
    bool Speak(const QString &what) {
        text = what;
        heard.clear();
        return control->Speak(what).ok();
    }
    // Waits until synthesis has run to the end of the text, so every mark is in.
    bool WaitForSynthesis() {
        return QTest::qWaitFor([&] { return control->SynthesisDone(); }, 30000);
    }
    std::vector<SpeechMark> Marks(SpeechMark::Kind kind) const {
        std::vector<SpeechMark> marks;
        for (const SpeechMark &m : control->Timeline().Pending())
            if (m.kind == kind)
                marks.push_back(m);
        return marks;
    }
    // The first word mark reading `word` (and, after it, the mark itself).
    std::optional<SpeechMark> WordMark(const QString &word) const {
        for (const SpeechMark &m : Marks(SpeechMark::Kind::Word))
            if (text.mid(m.word.start, m.word.length) == word)
                return m;
        return std::nullopt;
    }
    // The control sleeps until a mark is due by real time: this clock jumps,
    // so wait until it has taken in every mark reached.
    void HearUpTo(std::uint64_t sample) {
        clock.played = sample;
        const bool caughtUp = QTest::qWaitFor([&] {
            const std::vector<SpeechMark> pending = control->Timeline().Pending();
            return pending.empty() || pending.front().sample >= sample;
        });
        QVERIFY2(caughtUp, "the control never took in the marks reached");
    }
    // Lets the listener hear the rest and waits for the voice to end.
    bool HearToTheEnd() {
        return QTest::qWaitFor(
            [&] {
                clock.played = sink->SampleCount();
                return !control->IsSpeaking();
            },
            30000);
    }
    bool FrameTimerRunning() const {
        const auto timers = control->findChildren<QTimer *>();
        return std::any_of(timers.begin(), timers.end(),
                           [](const QTimer *t) { return t->isActive(); });
    }

    FakeClock clock;
    MemoryAudioOutput *sink = nullptr;
    std::unique_ptr<EspeakSpeechControl> control;
    QString text;
    QStringList heard;
};

const QByteArray kEnglish = "gmw/en";
const QByteArray kGerman = "gmw/de";
const QByteArray kFrench = "roa/fr";

double F0(const std::vector<std::int16_t> &s, std::size_t from, std::size_t to) {
    to = std::min(to, s.size());
    return from < to ? SignalAnalysis::MedianF0(s.data() + from, to - from, 22050) : 0;
}

const QString kCount = QStringLiteral("one two three four five six seven eight nine ten");

} // namespace

class LiveSpeechTest : public QObject {
    Q_OBJECT
private slots:
    void mouthAndWordsFollowThePlayedPosition();
    void nothingIsShownBeforeItIsHeard();
    void stopClosesTheMouthAtOnce();
    void restFollowsTheBeginning_data();
    void restFollowsTheBeginning();
    void liveChangeRestartsAtTheWordHeard_data();
    void liveChangeRestartsAtTheWordHeard();
    void heldSliderBreaksEachWordOffOnce();
    void voicesAreListedByLanguage();
    void chosenVoiceIsUsed();
    void voiceChosenWhileSpeakingAppliesFromTheNextWord();
    void pitchAndSpeedKeepTheirMeaningInEveryVoice_data();
    void pitchAndSpeedKeepTheirMeaningInEveryVoice();
    void voiceMenuOpens_data();
    void voiceMenuOpens();
};

void LiveSpeechTest::mouthAndWordsFollowThePlayedPosition() {
    Listener l;
    QVERIFY(l.Speak(QStringLiteral("Mamma opened a big window.")));
    QVERIFY(l.WaitForSynthesis());
    const auto mouths = l.Marks(SpeechMark::Kind::Mouth);
    const auto words = l.Marks(SpeechMark::Kind::Word);
    QVERIFY(mouths.size() > 10);
    QCOMPARE(words.size(), std::size_t(5));

    // Step through the audio: until a shape's first sample has been played the
    // old shape shows, from then on the new one.
    Viseme shown = Viseme::Rest;
    int changes = 0;
    for (std::size_t i = 0; i < mouths.size(); ++i) {
        const SpeechMark &m = mouths[i];
        // Of marks at one sample, the last one counts.
        if (i + 1 < mouths.size() && mouths[i + 1].sample == m.sample)
            continue;
        if (m.sample == 0)
            shown = m.mouth; // there is no before
        if (m.mouth == shown)
            continue;
        l.HearUpTo(m.sample);
        QCOMPARE(l.control->Mouth(), shown);
        l.HearUpTo(m.sample + 1);
        QCOMPARE(l.control->Mouth(), m.mouth);
        shown = m.mouth;
        ++changes;
    }
    QVERIFY(changes > 8);
    QCOMPARE(l.heard, QStringList({"Mamma", "opened", "a", "big", "window"}));

    // The voice ends when the listener has heard the last sample, not before.
    l.HearUpTo(l.sink->SampleCount() - 1);
    QVERIFY(l.control->IsSpeaking());
    QVERIFY(l.HearToTheEnd());
    QCOMPARE(l.control->Mouth(), Viseme::Rest);
    QVERIFY(!l.FrameTimerRunning());
}

void LiveSpeechTest::nothingIsShownBeforeItIsHeard() {
    Listener l;
    QVERIFY(l.Speak(kCount));
    QVERIFY(l.WaitForSynthesis()); // all of it synthesized and handed over...
    QTest::qWait(100);
    // ...yet nothing heard: no word, no movement, still speaking.
    QVERIFY(l.heard.isEmpty());
    QCOMPARE(l.control->Mouth(), Viseme::Rest);
    QVERIFY(l.control->IsSpeaking());
    QVERIFY(l.FrameTimerRunning());
}

void LiveSpeechTest::stopClosesTheMouthAtOnce() {
    Listener l;
    l.control->resize(90, 70);
    EspeakSpeechControl idle(std::make_unique<MemoryAudioOutput>());
    idle.resize(90, 70);
    const QImage atRest = idle.grab().toImage();

    QVERIFY(l.Speak(QStringLiteral("Ah, father was calm.")));
    QVERIFY(l.WaitForSynthesis());
    std::optional<SpeechMark> open;
    for (const SpeechMark &m : l.Marks(SpeechMark::Kind::Mouth))
        if (m.mouth == Viseme::Open && !open)
            open = m;
    QVERIFY(open);
    l.HearUpTo(open->sample + 400);
    QTRY_VERIFY(l.control->grab().toImage() != atRest);
    QVERIFY(l.control->StopSpeaking().ok());
    // No frame needed: the face is drawn at rest from the stop on.
    QCOMPARE(l.control->Mouth(), Viseme::Rest);
    QCOMPARE(l.control->grab().toImage(), atRest);
    QVERIFY(!l.FrameTimerRunning());
}

void LiveSpeechTest::restFollowsTheBeginning_data() {
    QTest::addColumn<QString>("whole");     // handed on after the beginning
    QTest::addColumn<QString>("more");      // handed on after that, if not empty
    QTest::addColumn<QStringList>("words"); // heard from start to end
    const QString beginning = QStringLiteral("one two three\n");
    QTest::newRow("the rest") << beginning + "four five"
                              << "" << QStringList{"one", "two", "three", "four", "five"};
    QTest::newRow("not its beginning")
        << QStringLiteral("six seven") << "" << QStringList{"one", "two", "three"};
    QTest::newRow("the rest twice") << beginning + "four five" << beginning + "four five six"
                                    << QStringList{"one", "two", "three", "four", "five"};
}

// A text whose beginning is spoken first goes on with the rest seamlessly,
// every word reported where it stands in the whole text.
void LiveSpeechTest::restFollowsTheBeginning() {
    QFETCH(QString, whole);
    QFETCH(QString, more);
    QFETCH(QStringList, words);
    Listener l;
    QVERIFY(l.Speak(QStringLiteral("one two three\n")));
    if (whole.startsWith(l.text))
        l.text = whole;
    l.control->Continue(whole);
    if (!more.isEmpty())
        l.control->Continue(more);
    QVERIFY(l.HearToTheEnd());
    QCOMPARE(l.heard, words);
}

void LiveSpeechTest::liveChangeRestartsAtTheWordHeard_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("at");        // the word being heard
    QTest::addColumn<bool>("inPause");      // heard: the pause after it
    QTest::addColumn<bool>("pitch");        // else speed
    QTest::addColumn<QStringList>("words"); // heard from start to end
    QTest::newRow("pitch, inside a word")
        << kCount << "five" << false << true
        << QStringList{"one", "two",   "three", "four", "five", "five",
                       "six", "seven", "eight", "nine", "ten"};
    QTest::newRow("speed, inside a word")
        << kCount << "three" << false << false
        << QStringList{"one", "two",   "three", "three", "four", "five",
                       "six", "seven", "eight", "nine",  "ten"};
    QTest::newRow("pitch, in the pause after a word")
        << "Red, green, blue, white."
        << "green" << true << true << QStringList{"Red", "green", "blue", "white"};
    QTest::newRow("accented text")
        << "Café naïve résumé déjà vu."
        << "résumé" << false << true
        << QStringList{"Café", "naïve", "résumé", "résumé", "déjà", "vu"};
}

void LiveSpeechTest::liveChangeRestartsAtTheWordHeard() {
    QFETCH(QString, text);
    QFETCH(QString, at);
    QFETCH(bool, inPause);
    QFETCH(bool, pitch);
    QFETCH(QStringList, words);
    Listener l;
    l.control->SetPitch(84);
    QVERIFY(l.Speak(text));
    QVERIFY(l.WaitForSynthesis());
    const std::optional<SpeechMark> word = l.WordMark(at);
    QVERIFY(word);
    std::uint64_t listenerAt = word->sample + 300; // early in the word
    if (inPause) {
        std::optional<SpeechMark> pause;
        for (const SpeechMark &m : l.Marks(SpeechMark::Kind::Mouth))
            if (m.sample > word->sample && m.mouth == Viseme::Rest && !pause)
                pause = m;
        QVERIFY(pause);
        listenerAt = pause->sample + 10;
    }
    l.HearUpTo(listenerAt);
    const std::size_t oldAudio = l.sink->SampleCount();

    if (pitch)
        l.control->SetPitch(338);
    else
        l.control->SetSpeed(338);
    QVERIFY(l.WaitForSynthesis());
    // The new synthesis begins where the listener is.
    const auto marks = l.Marks(SpeechMark::Kind::Word);
    QVERIFY(!marks.empty());
    QCOMPARE(marks.front().sample, listenerAt);
    QVERIFY(l.HearToTheEnd());
    QCOMPARE(l.heard, words);

    // And it is the new voice that is heard.
    const auto samples = l.sink->Samples();
    const std::size_t newAudio = samples.size() - oldAudio;
    if (pitch) {
        const double before = F0(samples, 0, oldAudio);
        const double after = F0(samples, oldAudio, samples.size());
        QVERIFY2(after > before * 1.4,
                 qPrintable(QStringLiteral("%1 Hz -> %2 Hz").arg(before).arg(after)));
    } else {
        // The rest of the text, at the fastest speed, takes far less than it did.
        const std::size_t restBefore = oldAudio - listenerAt;
        QVERIFY2(newAudio < restBefore * 0.75,
                 qPrintable(QStringLiteral("%1 vs %2").arg(newAudio).arg(restBefore)));
    }
}

void LiveSpeechTest::heldSliderBreaksEachWordOffOnce() {
    Listener l;
    QVERIFY(l.Speak(kCount));
    QVERIFY(l.WaitForSynthesis());
    const std::optional<SpeechMark> four = l.WordMark(QStringLiteral("four"));
    QVERIFY(four);
    l.HearUpTo(four->sample + 200);
    // A slider held down: a change every frame or so.
    for (int position = 100; position < 140; position += 2) {
        l.control->SetPitch(position);
        l.clock.played = l.clock.played + 50;
        QTest::qWait(5);
    }
    // The first change broke "four" off; the rest wait for the next word...
    QVERIFY(l.WaitForSynthesis());
    const std::optional<SpeechMark> five = l.WordMark(QStringLiteral("five"));
    QVERIFY(five);
    l.HearUpTo(five->sample + 100);
    // ...and break that one off, once, with the latest position.
    QVERIFY(l.WaitForSynthesis());
    QVERIFY(l.HearToTheEnd());
    QCOMPARE(l.heard, QStringList({"one", "two", "three", "four", "four", "five", "five", "six",
                                   "seven", "eight", "nine", "ten"}));
}

void LiveSpeechTest::voicesAreListedByLanguage() {
    EspeakSpeechControl control(std::make_unique<MemoryAudioOutput>());
    const auto &voices = control.Voices();
    QVERIFY(voices.size() > 20);
    QVERIFY(std::any_of(voices.begin(), voices.end(),
                        [](const SpeechVoice &v) { return v.identifier == kGerman; }));
    QSet<QByteArray> ids;
    for (const SpeechVoice &v : voices) {
        QVERIFY(!v.name.isEmpty());
        QVERIFY(!v.language.isEmpty());
        ids.insert(v.identifier);
    }
    QCOMPARE(ids.size(), qsizetype(voices.size()));
    // Voices that fault inside espeak-ng 1.51 are offered too: the fault
    // stays in the voice's own process.
    for (const char *language : {"hi", "ja"})
        QVERIFY2(std::any_of(voices.begin(), voices.end(),
                             [&](const SpeechVoice &v) { return v.language == language; }),
                 language);
    QVERIFY(ids.contains(control.Voice()));
    QVERIFY(!control.SetVoice("no/such-voice"));
    QVERIFY(ids.contains(control.Voice()));
}

void LiveSpeechTest::chosenVoiceIsUsed() {
    // The same words sound different in another language: its mouth shapes
    // (its phonemes) differ, and the same voice again gives the same ones.
    const auto shapes = [](const QByteArray &voice) {
        Listener l;
        if (!voice.isEmpty())
            l.control->SetVoice(voice);
        QList<int> seq;
        if (!l.Speak(QStringLiteral("Wasser und Zucker, Vater.")) || !l.WaitForSynthesis())
            return seq;
        for (const SpeechMark &m : l.Marks(SpeechMark::Kind::Mouth))
            seq << int(m.mouth);
        return seq;
    };
    const QByteArray german = kGerman;
    const QList<int> english = shapes({});
    QVERIFY(!english.isEmpty());
    const QList<int> inGerman = shapes(german);
    QVERIFY(!inGerman.isEmpty());
    QVERIFY(inGerman != english);
    QCOMPARE(shapes(german), inGerman);
}

void LiveSpeechTest::voiceChosenWhileSpeakingAppliesFromTheNextWord() {
    Listener l;
    QVERIFY(l.Speak(kCount));
    QVERIFY(l.WaitForSynthesis());
    const std::optional<SpeechMark> two = l.WordMark(QStringLiteral("two"));
    const std::optional<SpeechMark> three = l.WordMark(QStringLiteral("three"));
    QVERIFY(two && three);
    l.HearUpTo(two->sample + 300);
    QVERIFY(l.control->SetVoice(kGerman));
    // "two" goes on as it was...
    QTest::qWait(50);
    QCOMPARE(l.WordMark(QStringLiteral("three"))->sample, three->sample);
    // ...and the new voice takes over once "three" has begun.
    l.HearUpTo(three->sample + 1);
    QVERIFY(l.WaitForSynthesis());
    const auto marks = l.Marks(SpeechMark::Kind::Word);
    QVERIFY(!marks.empty());
    QCOMPARE(l.text.mid(marks.front().word.start, marks.front().word.length), "three");
    QVERIFY(l.HearToTheEnd());
    QCOMPARE(l.heard, QStringList({"one", "two", "three", "three", "four", "five", "six", "seven",
                                   "eight", "nine", "ten"}));
}

void LiveSpeechTest::pitchAndSpeedKeepTheirMeaningInEveryVoice_data() {
    QTest::addColumn<QByteArray>("voice");
    QTest::newRow("English") << kEnglish;
    QTest::newRow("German") << kGerman;
    QTest::newRow("French") << kFrench;
}

void LiveSpeechTest::pitchAndSpeedKeepTheirMeaningInEveryVoice() {
    QFETCH(QByteArray, voice);
    auto output = std::make_unique<MemoryAudioOutput>();
    MemoryAudioOutput *sink = output.get();
    EspeakSpeechControl control(std::move(output));
    const auto say = [&](int pitch, int speed) {
        control.SetPitch(pitch);
        control.SetSpeed(speed);
        sink->ClearSamples();
        if (!control.Speak(QStringLiteral("Hello there, one two three.")).ok() ||
            !QTest::qWaitFor([&] { return !control.IsSpeaking(); }, 30000))
            return std::vector<std::int16_t>();
        return sink->Samples();
    };
    // A setting made in one voice carries into the next.
    control.SetPitch(338);
    say(338, 84);
    QVERIFY(control.SetVoice(voice));
    const auto high = say(338, 84);
    const auto low = say(84, 84);
    const auto fast = say(84, 338);
    QVERIFY(!high.empty() && !low.empty() && !fast.empty());
    QVERIFY(F0(high, 0, high.size()) > F0(low, 0, low.size()) * 1.3);
    QVERIFY(fast.size() < low.size() * 0.7);
}

void LiveSpeechTest::voiceMenuOpens_data() {
    QTest::addColumn<bool>("byKeyboard");
    QTest::addColumn<int>("key");
    QTest::newRow("right click") << false << 0;
    QTest::newRow("menu key") << true << int(Qt::Key_Menu);
    QTest::newRow("shift+F10") << true << int(Qt::Key_F10);
}

void LiveSpeechTest::voiceMenuOpens() {
    QFETCH(bool, byKeyboard);
    QFETCH(int, key);
    QWidget window;
    auto *control = new EspeakSpeechControl(std::make_unique<MemoryAudioOutput>(), &window);
    control->setGeometry(10, 10, 90, 70);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    if (byKeyboard) {
        QVERIFY(control->focusPolicy() & Qt::TabFocus);
        control->setFocus();
        QTest::keyClick(control, Qt::Key(key),
                        key == Qt::Key_F10 ? Qt::ShiftModifier : Qt::NoModifier);
    } else {
        QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(20, 20),
                                control->mapToGlobal(QPoint(20, 20)));
        QApplication::sendEvent(control, &click);
    }
    QMenu *menu = control->findChild<QMenu *>(QStringLiteral("voiceMenu"));
    QVERIFY(menu);
    QTRY_VERIFY(menu->isVisible());

    // The voice in use named at the top; every voice once, under its
    // language's name, and that one checked; names for screen readers.
    QCOMPARE(menu->accessibleName(), QStringLiteral("Voice"));
    QAction *inUse = menu->findChild<QAction *>(QStringLiteral("voiceInUse"));
    QVERIFY(inUse);
    const QList<QAction *> items = menu->actions();
    QCOMPARE(items.value(0), inUse);
    // Save Speech As and Pronunciations next, set apart from the voices.
    QCOMPARE(items.value(1)->objectName(), QStringLiteral("mnuSaveSpeechAs"));
    QAction *pronunciations = items.value(2);
    QCOMPARE(pronunciations->objectName(), QStringLiteral("mnuPronunciations"));
    QVERIFY(items.value(3)->isSeparator());
    QSignalSpy save(control, &EspeakSpeechControl::SaveSpeechAsRequested);
    items[1]->trigger();
    QCOMPARE(save.count(), 1);
    QList<QAction *> voices;
    for (QAction *item : menu->actions()) {
        if (QMenu *language = item->menu()) {
            QCOMPARE(language->accessibleName(), item->text());
            QVERIFY(!language->actions().isEmpty());
            voices << language->actions();
        } else if (item->isCheckable()) {
            voices << item;
        }
    }
    QCOMPARE(voices.size(), qsizetype(control->Voices().size()));
    const auto checked =
        std::count_if(voices.begin(), voices.end(), [](QAction *a) { return a->isChecked(); });
    QCOMPARE(checked, 1);
    const auto current =
        std::find_if(voices.begin(), voices.end(), [](QAction *a) { return a->isChecked(); });
    QCOMPARE((*current)->data().toByteArray(), control->Voice());
    const auto voice =
        std::find_if(control->Voices().begin(), control->Voices().end(),
                     [&](const SpeechVoice &v) { return v.identifier == control->Voice(); });
    QVERIFY(inUse->text().contains(voice->name));
    // Languages with several voices list them by variant: English by country.
    QMenu *english = nullptr;
    for (QAction *item : menu->actions())
        if (item->menu() && item->text() == QLatin1String("English"))
            english = item->menu();
    QVERIFY(english);
    const QList<QAction *> variants = english->actions();
    QVERIFY(std::any_of(variants.begin(), variants.end(),
                        [](QAction *a) { return a->text() == QLatin1String("America"); }));
    // And every engine's English voices beside espeak-ng's, by engine and voice.
    for (const auto &[identifier, shown] :
         {std::pair{"flite:slt", "Flite: slt"},
          std::pair{"festival:cmu_us_slt_arctic_hts", "Festival: slt (HTS)"}})
        if (std::any_of(control->Voices().begin(), control->Voices().end(),
                        [&](const SpeechVoice &v) { return v.identifier == identifier; }))
            QVERIFY2(std::any_of(variants.begin(), variants.end(),
                                 [&](QAction *a) {
                                     return a->text() == QLatin1String(shown) &&
                                            a->data().toByteArray() == identifier;
                                 }),
                     shown);

    QAction *german = *std::find_if(voices.begin(), voices.end(),
                                    [](QAction *a) { return a->data().toByteArray() == kGerman; });
    german->trigger();
    QCOMPARE(control->Voice(), kGerman);

    // The pronunciations open beside the window, which stays usable; asked
    // for again, the same window comes up.
    QPointer<QMenu> open = menu;
    pronunciations->trigger();
    QPointer<PronunciationsWindow> rules = window.findChild<PronunciationsWindow *>();
    QVERIFY(rules);
    QTRY_VERIFY(rules->isVisible());
    QVERIFY(!rules->isModal());
    QCOMPARE(rules->accessibleName(), QStringLiteral("Pronunciations"));
    control->OpenPronunciations();
    QCOMPARE(window.findChildren<PronunciationsWindow *>().size(), 1);
    // OK keeps the list and speaks with it from then on.
    PronunciationRule rule;
    rule.find = QStringLiteral("Zqxj");
    rule.say = QStringLiteral("zed");
    rules->SetRules({rule});
    rules->accept();
    QTRY_VERIFY(!rules); // closed and gone
    QVERIFY(PronunciationFile::Load(PronunciationFile::UserFile()).rules ==
            std::vector<PronunciationRule>{rule});
    QVERIFY(Pronunciations::InUse()->Rules() == std::vector<PronunciationRule>{rule});
    QVERIFY(QFile::remove(PronunciationFile::UserFile()));
    Pronunciations::Use({});
    if (open)
        open->close();
}

QTEST_MAIN(LiveSpeechTest)
#include "tst_livespeech.moc"
