// The program itself, started as main() starts it, ending once painted.
#include "app/commandline.h"
#include "paintprobe.h"

#include <QCoreApplication>

namespace {
void InstallProbe() {
    PaintProbe::Install();
}
} // namespace
Q_COREAPP_STARTUP_FUNCTION(InstallProbe)

int main(int argc, char *argv[]) {
    return RunZavrenSpeech(argc, argv);
}
