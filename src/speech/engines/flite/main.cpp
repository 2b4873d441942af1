#include "speech/engines/flite/flitehelper.h"

int main() {
    return RunFliteHelper();
}
