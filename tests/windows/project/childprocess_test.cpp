// A helper child with pipes on its standard input and output (echochild.exe),
// under Wine: bytes go both ways untouched, waits end as they should, and a
// child that is killed or cannot start is told apart.
#include "check.h"
#include "platform/childprocess.h"
#include "scratch.h"

#include <string>

namespace {

// What the child sends back within about five seconds, up to `size` bytes.
std::string ReadBack(ChildProcess &child, std::size_t size) {
    std::string got;
    for (int tries = 0; got.size() < size && tries < 50; ++tries) {
        if (child.Wait(100) != ChildProcess::Ready::Readable)
            continue;
        char buffer[256];
        const std::ptrdiff_t n = child.Read(buffer, sizeof buffer);
        if (n < 0)
            break;
        got.append(buffer, std::size_t(n));
    }
    return got;
}

} // namespace

int main() {
    const std::string echo = ProgramFolder() + "\\echochild.exe";
    std::string error;
    auto child = StartChildProcess(echo, {"an argument", "with \"quotes\""}, error);
    check::True("start", "started", child != nullptr);
    if (!child)
        return check::Finish("childprocess_test");
    check::True("start", "has an id", child->Id() > 0);

    const std::string rows[] = {
        std::string("plain text"),
        std::string("line\r\nbreaks\nand \x1a end-of-file mark"),
        std::string("\0zero\xff\xfe bytes", 14),
    };
    for (const std::string &bytes : rows) {
        check::True("round trip", "written", child->Write(bytes.data(), bytes.size(), 1000));
        check::Equal("round trip", "read back", ReadBack(*child, bytes.size()), bytes);
    }
    check::Equal("quiet child", "wait", child->Wait(50) == ChildProcess::Ready::TimedOut, true);
    child->Wake();
    check::Equal("woken", "wait", child->Wait(5000) == ChildProcess::Ready::Woken, true);
    char buffer[16];
    check::Equal("nothing waiting", "read", child->Read(buffer, sizeof buffer), std::ptrdiff_t(0));
    child->Kill();
    check::Equal("killed", "wait", child->Wait(5000) == ChildProcess::Ready::Readable, true);
    check::Equal("killed", "read", child->Read(buffer, sizeof buffer), std::ptrdiff_t(-1));
    child.reset();

    error.clear();
    check::True("missing program", "not started",
                StartChildProcess(ProgramFolder() + "\\nothing.exe", {}, error) == nullptr);
    check::True("missing program", "says why", !error.empty());
    return check::Finish("childprocess_test");
}
