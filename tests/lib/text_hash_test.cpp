// The hash of a byte stream: the published xxHash64 values, whatever
// pieces the stream comes in.
#include "lib/text_hash.h"

#include <gtest/gtest.h>

#include <string>

namespace tagpolish::test {
namespace {

TEST(TextHash, KnownValuesInAnyPieces) {
    const struct {
        std::string text;
        std::uint64_t hash;
    } cases[] = {
        {"", 0xEF46DB3751D8E999ULL},
        {"a", 0xD24EC4F1A98C6E5BULL},
        {"abc", 0x44BC2CF5AD770999ULL},
        {"Nobody inspects the spammish repetition", 0xFBCEA83C8A378BF1ULL},
    };
    for (const auto& c : cases) {
        // Cut in two at every place, and in pieces of every size.
        for (std::size_t cut = 0; cut <= c.text.size(); ++cut) {
            TextHash h;
            h.add(std::string_view(c.text).substr(0, cut));
            h.add(std::string_view(c.text).substr(cut));
            EXPECT_EQ(c.hash, h.value()) << c.text << " cut at " << cut;
            EXPECT_EQ(c.text.size(), h.size());
        }
        for (std::size_t piece = 1; piece <= c.text.size(); ++piece) {
            TextHash h;
            for (std::size_t at = 0; at < c.text.size(); at += piece)
                h.add(std::string_view(c.text).substr(at, piece));
            EXPECT_EQ(c.hash, h.value()) << c.text << " in pieces of " << piece;
        }
    }
}

// Texts of one size that differ in one byte anywhere, or only in their
// order of stripes, hash apart.
TEST(TextHash, OneByteChangedChangesTheHash) {
    std::string text(200, 'x');
    for (std::size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>('a' + i % 26);
    TextHash whole;
    whole.add(text);
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::string other = text;
        other[i] ^= 1;
        TextHash h;
        h.add(other);
        EXPECT_NE(whole.value(), h.value()) << "byte " << i;
    }
    const std::string swapped = text.substr(32, 32) + text.substr(0, 32) + text.substr(64);
    TextHash h;
    h.add(swapped);
    EXPECT_NE(whole.value(), h.value());
}

}  // namespace
}  // namespace tagpolish::test
