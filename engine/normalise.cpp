#include "engine/normalise.h"

#include <array>

#include "lib/sjstr.h"

namespace tagpolish {

// ０１２３４５６７８９ＡＢＣＤＥＦＧＨＩＪＫＬＭＮＯＰＱＲＳＴＵＶＷＸＹＺａｂｃｄｅｆｇｈｉｊｋｌｍｎｏｐｑｒｓｔｕｖｗｘｙｚ
const char zen_alnum[] =
    "\x82\x4F\x82\x50\x82\x51\x82\x52\x82\x53\x82\x54\x82\x55\x82\x56\x82\x57\x82\x58"
    "\x82\x60\x82\x61\x82\x62\x82\x63\x82\x64\x82\x65\x82\x66\x82\x67\x82\x68\x82\x69"
    "\x82\x6A\x82\x6B\x82\x6C\x82\x6D\x82\x6E\x82\x6F\x82\x70\x82\x71\x82\x72\x82\x73"
    "\x82\x74\x82\x75\x82\x76\x82\x77\x82\x78\x82\x79\x82\x81\x82\x82\x82\x83\x82\x84"
    "\x82\x85\x82\x86\x82\x87\x82\x88\x82\x89\x82\x8A\x82\x8B\x82\x8C\x82\x8D\x82\x8E"
    "\x82\x8F\x82\x90\x82\x91\x82\x92\x82\x93\x82\x94\x82\x95\x82\x96\x82\x97\x82\x98"
    "\x82\x99\x82\x9A";

const char han_alnum[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

// ｡｢｣､･ｦｧｨｩｪｫｬｭｮｯｰｱｲｳｴｵｶｷｸｹｺｻｼｽｾｿﾀﾁﾂﾃﾄﾅﾆﾇﾈﾉﾊﾋﾌﾍﾎﾏﾐﾑﾒﾓﾔﾕﾖﾗﾘﾙﾚﾛﾜﾝﾞﾟ
const char han_kana[] =
    "\xA1\xA2\xA3\xA4\xA5\xA6\xA7\xA8\xA9\xAA\xAB\xAC\xAD\xAE\xAF\xB0\xB1\xB2\xB3\xB4"
    "\xB5\xB6\xB7\xB8\xB9\xBA\xBB\xBC\xBD\xBE\xBF\xC0\xC1\xC2\xC3\xC4\xC5\xC6\xC7\xC8"
    "\xC9\xCA\xCB\xCC\xCD\xCE\xCF\xD0\xD1\xD2\xD3\xD4\xD5\xD6\xD7\xD8\xD9\xDA\xDB\xDC"
    "\xDD\xDE\xDF";

// 。「」、・ヲァィゥェォャュョッーアイウエオカキクケコサシスセソタチツテトナニヌネノハヒフヘホマミムメモヤユヨラリルレロワン゛゜
const char zen_kana[] =
    "\x81\x42\x81\x75\x81\x76\x81\x41\x81\x45\x83\x92\x83\x40\x83\x42\x83\x44\x83\x46"
    "\x83\x48\x83\x83\x83\x85\x83\x87\x83\x62\x81\x5B\x83\x41\x83\x43\x83\x45\x83\x47"
    "\x83\x49\x83\x4A\x83\x4C\x83\x4E\x83\x50\x83\x52\x83\x54\x83\x56\x83\x58\x83\x5A"
    "\x83\x5C\x83\x5E\x83\x60\x83\x63\x83\x65\x83\x67\x83\x69\x83\x6A\x83\x6B\x83\x6C"
    "\x83\x6D\x83\x6E\x83\x71\x83\x74\x83\x77\x83\x7A\x83\x7D\x83\x7E\x83\x80\x83\x81"
    "\x83\x82\x83\x84\x83\x86\x83\x88\x83\x89\x83\x8A\x83\x8B\x83\x8C\x83\x8D\x83\x8F"
    "\x83\x93\x81\x4A\x81\x4B";

// ｶﾞｷﾞｸﾞｹﾞｺﾞｻﾞｼﾞｽﾞｾﾞｿﾞﾀﾞﾁﾞﾂﾞﾃﾞﾄﾞﾊﾞﾊﾟﾋﾞﾋﾟﾌﾞﾌﾟﾍﾞﾍﾟﾎﾞﾎﾟｳﾞ
const char han_dakuon[] =
    "\xB6\xDE\xB7\xDE\xB8\xDE\xB9\xDE\xBA\xDE\xBB\xDE\xBC\xDE\xBD\xDE\xBE\xDE\xBF\xDE"
    "\xC0\xDE\xC1\xDE\xC2\xDE\xC3\xDE\xC4\xDE\xCA\xDE\xCA\xDF\xCB\xDE\xCB\xDF\xCC\xDE"
    "\xCC\xDF\xCD\xDE\xCD\xDF\xCE\xDE\xCE\xDF\xB3\xDE";

// ガギグゲゴザジズゼゾダヂヅデドバパビピブプベペボポヴ
const char zen_dakuon[] =
    "\x83\x4B\x83\x4D\x83\x4F\x83\x51\x83\x53\x83\x55\x83\x57\x83\x59\x83\x5B\x83\x5D"
    "\x83\x5F\x83\x61\x83\x64\x83\x66\x83\x68\x83\x6F\x83\x70\x83\x72\x83\x73\x83\x75"
    "\x83\x76\x83\x78\x83\x79\x83\x7B\x83\x7C\x83\x94";

namespace {

constexpr int alnum_count = 62;
constexpr int dakuon_count = 26;

// Lookups built from the tables once, so that finding a character costs
// one array access instead of a search through the table.
struct Index {
    std::array<signed char, 256> alnum{};   // second byte after 0x82 -> entry, or -1
    std::array<signed char, 256> voiced{};  // base byte + 0xDE -> entry, or -1
    std::array<signed char, 256> semi{};    // base byte + 0xDF -> entry, or -1
    Index() {
        alnum.fill(-1), voiced.fill(-1), semi.fill(-1);
        for (int i = 0; i < alnum_count; ++i)
            alnum[static_cast<unsigned char>(zen_alnum[2 * i + 1])] = static_cast<signed char>(i);
        for (int j = 0; j < dakuon_count; ++j) {
            auto base = static_cast<unsigned char>(han_dakuon[2 * j]);
            auto mark = static_cast<unsigned char>(han_dakuon[2 * j + 1]);
            (mark == 0xDE ? voiced : semi)[base] = static_cast<signed char>(j);
        }
    }
};

const Index& lookup() {
    static const Index index;
    return index;
}

// Entry of zen_alnum for the character at p, or -1.
int alnum_entry(const char* p) {
    if (static_cast<unsigned char>(p[0]) != 0x82) return -1;
    return lookup().alnum[static_cast<unsigned char>(p[1])];
}

// The ASCII form of the full-width separator at p, or 0.
char digit_separator(const char* p) {
    if (p[0] != '\x81') return 0;
    switch (p[1]) {
        case '\x44':
            return '.';
        case '\x43':
            return ',';
        case '\x7C':
            return '-';
        default:
            return 0;
    }
}

}  // namespace

void walk_double_byte(LineBuf& line, const WalkOptions& opt, EditCounts& counts) {
    const char* p = line.cur();
    int i = (opt.n || opt.a) ? alnum_entry(p) : -1;
    bool convert = i >= 0 && ((opt.n && i <= 9) || (opt.a && i >= 10));
    if (!convert) {
        line.advance(2);
        return;
    }
    line.emit(han_alnum[i]);
    line.remove(2);
    count_edit(counts, Edit::full_width);
    if (i > 9) return;
    // A full stop, comma or minus between two full-width digits goes to
    // ASCII with them; it is walked next as an ordinary byte.
    p = line.cur();
    char sep = digit_separator(p);
    if (sep && p[2] != 0) {
        int after = alnum_entry(p + 2);
        if (after >= 0 && after <= 9) {
            line.set(1, sep);
            line.remove(1);
            count_edit(counts, Edit::full_width);
        }
    }
}

void walk_text_byte(LineBuf& line, const WalkOptions& opt, EditCounts& counts) {
    unsigned char c = line.peek();
    if (!opt.k || c < 0xA1 || c > 0xDF) {
        line.advance(1);
        return;
    }
    count_edit(counts, Edit::katakana);
    unsigned char mark = line.peek(1);
    int pair = -1;
    if (mark == 0xDE) pair = lookup().voiced[c];
    if (mark == 0xDF) pair = lookup().semi[c];
    if (pair >= 0) {
        line.emit(std::string_view(zen_dakuon + 2 * pair, 2));
        line.remove(2);
        return;
    }
    line.emit(std::string_view(zen_kana + 2 * (c - 0xA1), 2));
    line.remove(1);
}

std::size_t fragment_length(std::string_view rest) {
    std::size_t k = 1;
    while (k < rest.size() && is_space_or_tab(static_cast<unsigned char>(rest[k]))) ++k;
    while (k < rest.size() && rest[k] != '>' && rest[k] != ' ' && rest[k] != '\t')
        k += char_length(rest, k);
    return k;
}

CaseChange tag_case(const WalkOptions& opt) {
    if (opt.s) return {'A', 'Z', 0x20};
    if (opt.c) return {'a', 'z', -0x20};
    return {};
}

void walk_tag_byte(LineBuf& line, const WalkOptions& opt, EditCounts& counts) {
    const unsigned char c = line.peek();
    if (const unsigned char to = tag_case(opt).of(c); to != c) {
        line.set(0, static_cast<char>(to));
        count_edit(counts, Edit::letter_case);
    }
    line.advance(1);
}

}  // namespace tagpolish
