// Reading a text file and decoding it in the ANSI code page, under Wine. Run
// once per code page: Wine takes it from LC_ALL (en_US: 1252, ja_JP: 932).
#include "check.h"
#include "platform/codepage.h"
#include "platform/regularfile.h"
#include "scratch.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <string>
#include <vector>

namespace {

struct DecodeRow {
    const char *name;
    std::string bytes;
    std::u16string text;
};

std::string Codes(const std::u16string &text) {
    std::string out;
    for (char16_t c : text) {
        char code[8];
        std::snprintf(code, sizeof code, "%04X ", static_cast<unsigned>(c));
        out += code;
    }
    return out;
}

void TestDecode(unsigned codePage) {
    std::vector<DecodeRow> rows = {
        {"empty", "", u""},
        {"plain ASCII", "Hello", u"Hello"},
        {"CR LF line ends kept", "one\r\ntwo\r\n", u"one\r\ntwo\r\n"},
        {"zero byte kept", std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
    };
    if (codePage == 1252) {
        rows.push_back({"euro sign", "\x80", u"\u20AC"});
        rows.push_back({"e acute", "caf\xe9", u"caf\u00E9"});
        rows.push_back({"byte with no letter", "\x81", u"\u0081"});
    } else if (codePage == 932) {
        rows.push_back({"two-byte letter", "\x82\xa0", u"\u3042"});
        rows.push_back({"half-width katakana", "\xb1", u"\uFF71"});
        rows.push_back({"lead byte cut off at the end", "a\x82", u"a\u30FB"});
        rows.push_back({"letter then cut-off lead byte", "\x82\xa0\x82", u"\u3042\u30FB"});
    } else {
        check::True("DecodeSystemCodePage", "code page is 1252 or 932", false);
    }
    for (const DecodeRow &row : rows) {
        const auto text = DecodeSystemCodePage(row.bytes);
        const std::string where =
            "DecodeSystemCodePage/" + std::to_string(codePage) + "/" + row.name;
        check::True(where, "decoded", text.has_value());
        if (text)
            check::Equal(where, "code units", Codes(*text), Codes(row.text));
    }
}

struct ReadRow {
    const char *name;
    std::wstring path;
    ReadFileStatus expected;
    std::string bytes;
    bool anyFailure = false; // any status but Ok will do
};

const char *StatusName(ReadFileStatus s) {
    switch (s) {
    case ReadFileStatus::Ok:
        return "Ok";
    case ReadFileStatus::CannotOpen:
        return "CannotOpen";
    case ReadFileStatus::NotRegular:
        return "NotRegular";
    case ReadFileStatus::TooLarge:
        return "TooLarge";
    case ReadFileStatus::ReadFailed:
        return "ReadFailed";
    }
    return "?";
}

std::wstring Wide(const std::string &ansi) {
    std::wstring out(ansi.size(), L'\0');
    const int n = ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()),
                                        out.data(), static_cast<int>(out.size()));
    out.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return out;
}

void TestRead(const std::string &dir) {
    const std::string text = "first line\r\nsecond line\r\n";
    MakeFile(dir + "\\text.txt", text);
    MakeFile(dir + "\\empty.txt", "");
    MakeFile(dir + "\\readonly.txt", text, FILE_ATTRIBUTE_READONLY);
    MakeFile(dir + "\\hidden.txt", text, FILE_ATTRIBUTE_HIDDEN);
    MakeFile(dir + "\\large.txt", std::string(1000, 'x'));
    MakeFolder(dir + "\\folder");
    const std::wstring wdir = Wide(dir);
    const std::wstring unicodeName = wdir + L"\\\u65E5\u672C.txt";
    const HANDLE unicodeFile = ::CreateFileW(unicodeName.c_str(), GENERIC_WRITE, 0, nullptr,
                                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    ::WriteFile(unicodeFile, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    ::CloseHandle(unicodeFile);
    MakeFile(dir + "\\locked.txt", text);
    const HANDLE locked = ::CreateFileA((dir + "\\locked.txt").c_str(), GENERIC_READ, 0, nullptr,
                                        OPEN_EXISTING, 0, nullptr);

    const std::vector<ReadRow> rows = {
        {"text file, CR LF kept", wdir + L"\\text.txt", ReadFileStatus::Ok, text},
        {"empty file", wdir + L"\\empty.txt", ReadFileStatus::Ok, ""},
        {"read-only file", wdir + L"\\readonly.txt", ReadFileStatus::Ok, text},
        {"hidden file", wdir + L"\\hidden.txt", ReadFileStatus::Ok, text},
        {"name outside the ANSI code page", unicodeName, ReadFileStatus::Ok, text},
        {"file at the limit", wdir + L"\\large.txt", ReadFileStatus::Ok, std::string(1000, 'x')},
        {"missing file", wdir + L"\\missing.txt", ReadFileStatus::CannotOpen, ""},
        {"file open elsewhere without sharing", wdir + L"\\locked.txt", ReadFileStatus::CannotOpen,
         ""},
        {"folder", wdir + L"\\folder", ReadFileStatus::NotRegular, "", true},
        {"null device", L"NUL", ReadFileStatus::NotRegular, ""},
        {"console device in a folder", wdir + L"\\CON", ReadFileStatus::NotRegular, "", true},
    };
    for (const ReadRow &row : rows) {
        const std::string where = std::string("ReadRegularFile/") + row.name;
        std::string bytes = "left over";
        const ReadFileStatus got = ReadRegularFile(row.path, 1000, bytes);
        if (row.anyFailure)
            check::True(where, (std::string("failed (") + StatusName(got) + ")").c_str(),
                        got != ReadFileStatus::Ok);
        else
            check::Equal(where, "status", std::string(StatusName(got)),
                         std::string(StatusName(row.expected)));
        check::Equal(where, "bytes", bytes, row.bytes);
    }
    std::string bytes;
    check::Equal("ReadRegularFile/over the limit", "status",
                 std::string(StatusName(ReadRegularFile(wdir + L"\\large.txt", 999, bytes))),
                 std::string("TooLarge"));
    if (locked != INVALID_HANDLE_VALUE)
        ::CloseHandle(locked);
}

} // namespace

int main() {
    const unsigned codePage = ::GetACP();
    std::printf("ANSI code page %u\n", codePage);
    TestDecode(codePage);
    const std::string dir = MakeScratchFolder("textread");
    TestRead(dir);
    RemoveTree(dir);
    return check::Finish("textread_test");
}
