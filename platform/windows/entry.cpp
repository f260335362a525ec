// Windows hands a program its command line in UTF-16 (wmain; mingw links
// it with -municode). The names become UTF-8 here, whatever the ANSI code
// page, so that a Japanese name reaches the W calls that open files whole
// (platform/windows/utf16.h: even a lone surrogate comes back as it was).
#include "platform/entry.h"

#include <string>
#include <vector>

#include "platform/windows/utf16.h"

extern "C" int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    args.reserve(static_cast<std::size_t>(argc));
    for (int i = 0; i < argc; ++i) args.push_back(tagpolish::utf8_of(argv[i]));
    std::vector<char*> pointers;
    for (std::string& arg : args) pointers.push_back(arg.data());
    pointers.push_back(nullptr);
    return tagpolish::program_main(argc, pointers.data());
}
