#include "binarystdio.h"

#include <cstdio>
#include <fcntl.h>
#include <io.h>

void UseBinaryStdio() {
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
}

std::FILE *TakeStdoutForMessages() {
    std::fflush(stdout);
    const int messages = _dup(_fileno(stdout));
    if (messages < 0 || _dup2(_fileno(stderr), _fileno(stdout)) < 0)
        return nullptr;
    return _fdopen(messages, "wb");
}
