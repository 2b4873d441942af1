// The Flite helper as the tests build it (switchedfaults.h), as
// zavren-voice-flite beside the fault tests.
#include "speech/voice/engines/flite/flitehelper.h"
#include "switchedfaults.h"

int main() {
    const SwitchedFaults faults;
    return RunFliteHelper(&faults);
}
