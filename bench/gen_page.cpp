// Writes the benchmark's test pages (bench/page_gen.h) to files.
//
//   gen_page realistic SIZE OUT      about SIZE bytes of ordinary markup
//   gen_page pathological SIZE OUT [LINE]
//                                    lines of LINE bytes (255,999 when not
//                                    given) of half-width katakana, and
//                                    lines full of tags
//   gen_page site PAGES OUT          a site: PAGES realistic pages of about
//                                    20 KB, each its own, in 50 folders
//                                    OUT/d00 ... OUT/d49
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "bench/page_gen.h"

namespace {

bool write_file(const std::string& path, const std::string& text) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) {
        std::perror(path.c_str());
        return false;
    }
    bool ok = std::fwrite(text.data(), 1, text.size(), out) == text.size();
    return std::fclose(out) == 0 && ok;
}

constexpr int site_folders = 50;
constexpr std::size_t site_page_size = 20000;

bool site(int pages, const std::string& out) {
    if (mkdir(out.c_str(), 0755) != 0 && errno != EEXIST) return false;
    for (int d = 0; d < site_folders; ++d) {
        char folder[16];
        std::snprintf(folder, sizeof folder, "/d%02d", d);
        if (mkdir((out + folder).c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
    for (int i = 0; i < pages; ++i) {
        auto seed = tagpolish::page_seed + static_cast<std::uint32_t>(i);
        char name[32];
        std::snprintf(name, sizeof name, "/d%02d/p%04d.htm", i % site_folders, i);
        if (!write_file(out + name, tagpolish::realistic_page(site_page_size, seed))) return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::string_view kind = argc == 4 || argc == 5 ? argv[1] : "";
    if (kind != "pathological" && argc == 5) kind = "";
    if (kind != "realistic" && kind != "pathological" && kind != "site") {
        std::fprintf(stderr,
                     "usage: gen_page realistic SIZE_BYTES OUTFILE\n"
                     "       gen_page pathological SIZE_BYTES OUTFILE [LINE_BYTES]\n"
                     "       gen_page site PAGES OUTDIR\n");
        return 2;
    }
    auto size = static_cast<std::size_t>(std::strtoull(argv[2], nullptr, 10));
    if (kind == "site") return site(static_cast<int>(size), argv[3]) ? 0 : 1;
    if (kind == "realistic") return write_file(argv[3], tagpolish::realistic_page(size)) ? 0 : 1;
    std::string page =
        argc == 5 ? tagpolish::pathological_page(
                        size, static_cast<std::size_t>(std::strtoull(argv[4], nullptr, 10)))
                  : tagpolish::pathological_page(size);
    return write_file(argv[3], page) ? 0 : 1;
}
