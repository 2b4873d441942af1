// The voice helper as the tests build it (switchedfaults.h). Built as
// zavren-voice beside the fault tests, which find it as the program finds its
// own.
#include "switchedfaults.h"

int main() {
    const SwitchedFaults faults;
    return RunVoiceHelper(&faults);
}
