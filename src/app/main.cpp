#include "app/commandline.h"

int main(int argc, char *argv[]) {
    return RunZavrenSpeech(argc, argv);
}
