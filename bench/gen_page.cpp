// Writes the benchmark's test pages (bench/page_gen.h) to a file.
//
//   gen_page realistic SIZE OUT      about SIZE bytes of ordinary markup
//   gen_page pathological SIZE OUT   255,999-byte lines of half-width
//                                    katakana, and lines full of tags
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "bench/page_gen.h"

int main(int argc, char** argv) {
    std::string_view kind = argc == 4 ? argv[1] : "";
    if (kind != "realistic" && kind != "pathological") {
        std::fprintf(stderr, "usage: gen_page realistic|pathological SIZE_BYTES OUTFILE\n");
        return 2;
    }
    auto size = static_cast<std::size_t>(std::strtoull(argv[2], nullptr, 10));
    std::string page =
        kind == "realistic" ? tagpolish::realistic_page(size) : tagpolish::pathological_page(size);
    std::FILE* out = std::fopen(argv[3], "wb");
    if (!out) {
        std::perror(argv[3]);
        return 1;
    }
    bool ok = std::fwrite(page.data(), 1, page.size(), out) == page.size();
    ok = std::fclose(out) == 0 && ok;
    return ok ? 0 : 1;
}
