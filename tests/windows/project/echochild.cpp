// Sends back every byte it reads, exactly, until its input ends.
#include "platform/binarystdio.h"

#include <cstdio>

int main() {
    UseBinaryStdio();
    char buffer[4096];
    for (;;) {
        const std::size_t got = std::fread(buffer, 1, 1, stdin);
        if (got == 0)
            return 0;
        std::fwrite(buffer, 1, got, stdout);
        std::fflush(stdout);
    }
}
