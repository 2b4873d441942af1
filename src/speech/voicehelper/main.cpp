#include "speech/voicehelper/voicehelper.h"

int main() {
    return RunVoiceHelper();
}
