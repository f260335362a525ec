// Windows hands a program its command line in UTF-16 (wmain; mingw links
// it with -municode). The names become UTF-8 here, whatever the ANSI code
// page, so that a Japanese name reaches the W calls that open files whole.
#include "platform/entry.h"

#include <windows.h>

#include <string>
#include <vector>

namespace {

// The UTF-8 of an argument. An unpaired surrogate, which no name that a
// file can be opened by holds, becomes U+FFFD.
std::string utf8_of(const wchar_t* arg) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, arg, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return {};
    std::string utf8(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, arg, -1, utf8.data(), size, nullptr, nullptr);
    utf8.pop_back();  // the terminating NUL, which the string keeps anyway
    return utf8;
}

}  // namespace

extern "C" int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    args.reserve(static_cast<std::size_t>(argc));
    for (int i = 0; i < argc; ++i) args.push_back(utf8_of(argv[i]));
    std::vector<char*> pointers;
    for (std::string& arg : args) pointers.push_back(arg.data());
    pointers.push_back(nullptr);
    return tagpolish::program_main(argc, pointers.data());
}
