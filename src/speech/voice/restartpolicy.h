#pragma once

#include <cstdint>

// When speech under way starts again at the word heard, so that new pitch,
// speed or voice are heard at once. Each word is broken off at most once, so
// a slider held down cannot trap the voice on one word; a new voice applies
// from the next word, one that begins after the choice.
class RestartPolicy {
public:
    enum class Due { Nothing, Settings, Voice };

    // Nothing waits to be heard.
    void Clear() { settingsChanged_ = voiceChanged_ = restarted_ = false; }
    void SetSettingsChanged(bool changed) { settingsChanged_ = changed; }
    bool SettingsChanged() const { return settingsChanged_; }
    void SetVoiceChanged(bool changed) { voiceChanged_ = changed; }
    // The word heard when the voice was chosen.
    void SetVoiceChosenAt(std::uint64_t wordSerial) { voiceChosenAtWord_ = wordSerial; }

    // What a restart at the word heard now (`wordSerial`, if `hasWord`) would
    // bring in: Voice when the new voice is due, Settings when only the
    // settings are, Nothing when no restart is due.
    Due Check(bool hasWord, std::uint64_t wordSerial) const {
        const bool mayBreakOff = !restarted_ || wordSerial >= restartedAtWord_ + 2;
        const bool voiceDue = voiceChanged_ && (!hasWord || wordSerial > voiceChosenAtWord_);
        if (!mayBreakOff || !(settingsChanged_ || voiceDue))
            return Due::Nothing;
        return voiceDue ? Due::Voice : Due::Settings;
    }
    // A restart takes the settings in, and the voice with `voice`.
    void Applied(bool voice) {
        settingsChanged_ = false;
        if (voice)
            voiceChanged_ = false;
    }
    // Synthesis started again at word `wordSerial`.
    void Restarted(std::uint64_t wordSerial) {
        restarted_ = true;
        restartedAtWord_ = wordSerial;
    }

private:
    bool settingsChanged_ = false;
    bool voiceChanged_ = false;
    std::uint64_t voiceChosenAtWord_ = 0;
    bool restarted_ = false;
    std::uint64_t restartedAtWord_ = 0;
};
