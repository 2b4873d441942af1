// The Festival helper as the tests build it (switchedfaults.h), as
// zavren-voice-festival beside the fault tests.
#include "speech/voice/engines/festival/festivalhelper.h"
#include "switchedfaults.h"

int main() {
    const SwitchedFaults faults;
    return RunFestivalHelper(&faults);
}
