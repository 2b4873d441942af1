#include "speech/voice/engines/flite/flitehelper.h"

int main() {
    return RunFliteHelper();
}
