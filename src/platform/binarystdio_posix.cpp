#include "binarystdio.h"

void UseBinaryStdio() {
}

#include <unistd.h>

std::FILE *TakeStdoutForMessages() {
    std::fflush(stdout);
    const int messages = dup(STDOUT_FILENO);
    if (messages < 0 || dup2(STDERR_FILENO, STDOUT_FILENO) < 0)
        return nullptr;
    return fdopen(messages, "wb");
}
