#include "binarystdio.h"

void UseBinaryStdio() {
}
