#include "support/corpus_pages.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "support/test_support.h"

namespace tagpolish::test {

namespace fs = std::filesystem;

const std::vector<Broken> broken_pages = {
    // Feeds: "<![CDATA[" opens a tag that holds HTML, so the first "<" inside
    // it finds that tag still open.
    {"html/chardet_feed_10e.org.xml", 63, lt_open},
    {"html/chardet_feed_1affliate.com.xml", 29, lt_open},
    {"html/chardet_feed_accessories-brand.com.xml", 29, lt_open},
    {"html/chardet_feed_amefoot.net.xml", 29, lt_open},
    {"html/chardet_feed_andore.com.inami.xml", 108, lt_open},
    {"html/chardet_feed_blog.inkase.net.xml", 41, lt_open},
    {"html/chardet_feed_blog.paseri.ne.jp.xml", 29, lt_open},
    {"html/chardet_feed_bloglelife.com.xml", 29, lt_open},
    {"html/chardet_feed_celeb.lalalu.com.xml", 29, lt_open},
    {"html/chardet_feed_clickablewords.com.xml", 29, lt_open},
    {"html/chardet_feed_do.beginnersrack.com.xml", 71, lt_open},
    {"html/chardet_feed_dogsinn.jp.xml", 29, lt_open},
    {"html/chardet_feed_grebeweb.net.xml", 29, lt_open},
    {"html/chardet_feed_milliontimes.jp.xml", 29, lt_open},
    {"html/chardet_feed_moon-light.ne.jp.xml", 20, lt_open},
    {"html/chardet_feed_nextbeaut.com.xml", 29, lt_open},
    {"html/chardet_feed_ooganemochi.com.xml", 38, lt_open},
    {"html/chardet_feed_perth-on.net.xml", 29, lt_open},
    {"html/chardet_feed_sakusaka-silk.net.xml", 48, lt_open},
    {"html/chardet_feed_setsuzei119.jp.xml", 29, lt_open},
    {"html/chardet_feed_tamuyou.haun.org.xml", 49, lt_open},
    {"html/chardet_feed_y-moto.com.xml", 29, lt_open},
    {"html/rchardet_feed_blog.inkase.net.mixedEOL.xml", 41, lt_open},
    {"html/rchardet_feed_moon-light.ne.jp.mixedEOL.xml", 20, lt_open},
    // Code tables that show "<" and ">" as characters: a "<" before a
    // blank or "=" is text, and the ">" after it has no "<".
    {"html/presto_comparative_windows-932.html", 42, gt_alone},
    {"html/presto_unicode_tables_shift-jis.html", 10, gt_alone},
    // A lead byte 0xFA takes the "<" of "</span>" as its second byte.
    {"html/wpt_sjis_errors.html", 7, gt_alone},
    // Plain texts with a ">" in running text: breadcrumbs, arrows, code.
    {"text/cchardet_wikipediaJa_Japan_SJIS.txt", 3, gt_alone},
    {"text/cchardet_wikipediaJa_One_Thousand_and_One_Nights_SJIS.txt", 2, gt_alone},
    {"text/chardet_culturax_mC4_5.txt", 3, gt_alone},
    {"text/jschardet_Shift_JIS-particle_sakura.txt", 22, gt_alone},
    {"text/rchardet_Shift_JIS_yarv.txt", 182, gt_alone},
    {"text/synthetic_glibc_SHIFT_JISX0213.txt", 2, gt_alone},
};

std::string corpus_dir() {
    return TAGPOLISH_CORPUS_DIR;
}

// Every file of html/ and text/, as "html/name".
std::vector<std::string> corpus_files() {
    std::vector<std::string> files;
    std::error_code ec;
    for (const char* sub : {"html", "text"})
        for (auto& e : fs::directory_iterator(corpus_dir() + "/" + sub, ec))
            if (e.is_regular_file())
                files.push_back(std::string(sub) + "/" + e.path().filename().string());
    std::sort(files.begin(), files.end());
    return files;
}

const Broken* broken(const std::string& file) {
    for (const Broken& b : broken_pages)
        if (file == b.file) return &b;
    return nullptr;
}

void CorpusPage::SetUp() {
    path_ = corpus_dir() + "/" + GetParam();
    raw_ = read_file(path_);
    ASSERT_FALSE(raw_.empty()) << path_;
}

std::string corpus_test_name(const testing::TestParamInfo<std::string>& info) {
    std::string name = info.param;
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

}  // namespace tagpolish::test
