#include "lib/sjis_utf8.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <string>

namespace tagpolish {
namespace {

// What the system's CP932 converter makes of bytes: the code point, or
// invalid_char where it refuses them or makes more than one.
char32_t system_cp932(iconv_t cd, const std::string& bytes) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char in[2] = {bytes[0], bytes.size() > 1 ? bytes[1] : '\0'};
    unsigned char out[8];
    char* ip = in;
    char* op = reinterpret_cast<char*>(out);
    std::size_t in_left = bytes.size(), out_left = sizeof out;
    if (iconv(cd, &ip, &in_left, &op, &out_left) == static_cast<std::size_t>(-1) || in_left != 0 ||
        sizeof out - out_left != 4)
        return invalid_char;
    return static_cast<char32_t>(out[0]) << 24 | out[1] << 16 | out[2] << 8 | out[3];
}

// Every one- and two-byte code decodes as the system's CP932 converter
// decodes it, but for 0x80, which browsers read as U+0080; the user-defined
// area maps onto U+E000 on. The system's converter is the check, not the
// source: the table is the program's own.
TEST(SjisDecode, EveryCodeAsWindowsCodePage932) {
    iconv_t cd = iconv_open("UTF-32BE", "CP932");
    if (cd == reinterpret_cast<iconv_t>(-1)) GTEST_SKIP() << "no CP932 converter here";
    int two_byte = 0;
    for (int b = 0; b < 256; ++b) {
        const std::string one(1, static_cast<char>(b));
        if (b >= 0x81 && b <= 0x9F) continue;
        if (b >= 0xE0 && b <= 0xFC) continue;
        const char32_t want = b == 0x80 ? 0x80 : system_cp932(cd, one);
        EXPECT_EQ(want, decode_sjis(one, 0).code) << std::hex << b;
    }
    for (int lead : {0x81, 0x9F, 0xE0, 0xFC})
        EXPECT_EQ(invalid_char, decode_sjis(std::string(1, static_cast<char>(lead)), 0).code);
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        if (lead >= 0xA0 && lead < 0xE0) continue;
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            const std::string pair{static_cast<char>(lead), static_cast<char>(trail)};
            const SjisChar got = decode_sjis(pair, 0);
            const char32_t want = system_cp932(cd, pair);
            ASSERT_EQ(want, got.code) << std::hex << lead << " " << trail;
            if (want != invalid_char) {
                EXPECT_EQ(2u, got.size);
                ++two_byte;
            }
        }
    }
    iconv_close(cd);
    // The standard's index holds 7,724 characters; 1,880 are user-defined.
    EXPECT_EQ(7724 + 1880, two_byte);
}

TEST(SjisDecode, KnownCodesAndErrorLengths) {
    struct Case {
        const char* bytes;
        char32_t code;
        std::size_t size;
    };
    const Case cases[] = {
        {"\\", 0x5C, 1},
        {"~", 0x7E, 1},
        {"\x81\x60", 0xFF5E, 2},
        {"\x81\x7C", 0xFF0D, 2},
        {"\x81\x5F", 0xFF3C, 2},
        {"\x87\x40", 0x2460, 2},  // NEC row 13
        {"\xED\x40", 0x7E8A, 2},
        {"\xFA\x40", 0x2170, 2},  // NEC-selected IBM, IBM
        {"\xFC\x4B", 0x9ED1, 2},
        {"\xF0\x40", 0xE000, 2},  // user-defined area
        {"\xA1", 0xFF61, 1},
        {"\xDF", 0xFF9F, 1},
        {"\xA0", invalid_char, 1},
        {"\xFD", invalid_char, 1},
        {"\x81 ", invalid_char, 1},     // the ASCII byte is read again
        {"\x85\x40", invalid_char, 1},  // no character there: "@" is read again
        {"\x85\x80", invalid_char, 2},  // both go
        {"\x81\x7F", invalid_char, 1},
    };
    for (const Case& c : cases) {
        const SjisChar got = decode_sjis(c.bytes, 0);
        EXPECT_EQ(c.code, got.code) << c.bytes;
        EXPECT_EQ(c.size, got.size) << c.bytes;
    }
}

// The forms the conversion writes are the decoder's characters in UTF-8,
// for every byte alone and every pair.
TEST(SjisDecode, FormsAreTheDecodersCharacters) {
    const Utf8Forms& forms = utf8_forms();
    auto bytes_of = [](std::uint32_t form) {
        char out[3];
        return std::string(out, static_cast<std::size_t>(put_form(out, form) - out));
    };
    auto utf8_of = [](const SjisChar& ch) {
        char out[4];
        return ch.code == invalid_char
                   ? std::string()
                   : std::string(out, static_cast<std::size_t>(write_utf8(out, ch.code) - out));
    };
    for (int b = 0x80; b < 0x100; ++b) {
        const std::string one(1, static_cast<char>(b));
        if (forms.row[b] == 0) {
            EXPECT_EQ(utf8_of(decode_sjis(one, 0)), bytes_of(forms.single[b])) << b;
            continue;
        }
        for (int trail = 0; trail < 0x100; ++trail) {
            const std::string pair{static_cast<char>(b), static_cast<char>(trail)};
            const SjisChar ch = decode_sjis(pair, 0);
            const std::uint32_t form = forms.pair[forms.row[b] - 1][trail];
            EXPECT_EQ(ch.size == 2 ? utf8_of(ch) : "", form == 0 ? "" : bytes_of(form))
                << b << " " << trail;
        }
    }
}

TEST(SjisDecode, Utf8BytesOfEachLength) {
    const std::pair<char32_t, std::string> cases[] = {
        {0x41, "A"}, {0xA7, "\xC2\xA7"}, {0x65E5, "\xE6\x97\xA5"}, {0x1F600, "\xF0\x9F\x98\x80"}};
    for (const auto& [code, bytes] : cases) {
        char out[4];
        const char* end = write_utf8(out, code);
        EXPECT_EQ(bytes, std::string(out, static_cast<std::size_t>(end - out)));
        EXPECT_EQ(bytes.size(), utf8_size(code));
    }
}

}  // namespace
}  // namespace tagpolish
