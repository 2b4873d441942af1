#include "speech/voice/engines/espeak/espeakhelper.h"

int main() {
    return RunVoiceHelper();
}
