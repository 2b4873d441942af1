#include "speech/voice/engines/festival/festivalhelper.h"

int main() {
    return RunFestivalHelper();
}
