#include "speech/engines/festival/festivalhelper.h"

int main() {
    return RunFestivalHelper();
}
