#include "engine/block_search.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "engine/fast_walk.h"
#include "lib/options.h"
#include "lib/sjstr.h"

namespace tagpolish {
namespace {

// Restores the fastest block search after a test.
struct SearchChoice {
    ~SearchChoice() { use_block_search(block_searches().back()); }
};

// The second bytes of a block, found by walking it one character at a time.
std::uint32_t walked_second_bytes(std::uint32_t lead, bool carry) {
    std::uint32_t second = 0;
    bool inside = carry;  // this byte completes a character
    for (unsigned k = 0; k < 32; ++k) {
        if (inside) second |= 1u << k;
        inside = !inside && (lead >> k & 1);
    }
    return second;
}

TEST(BlockSearch, SecondBytesFollowTheRunsOfLeadBytes) {
    std::mt19937 gen(7);
    std::vector<std::uint32_t> leads = {0, ~0u, 0x55555555, 0xAAAAAAAA, 0x80000000, 1, 0x7FFFFFFE};
    for (int i = 0; i < 20000; ++i) leads.push_back(gen() & gen());  // runs of every length
    for (std::uint32_t lead : leads)
        for (bool carry : {false, true})
            ASSERT_EQ(walked_second_bytes(lead, carry), second_bytes(lead, carry))
                << std::hex << lead << " carry " << carry;
}

// Each block search takes byte c for the first byte of a double-byte
// character exactly where the lead-byte rule does: in a state that pairs,
// the "<" after c is then a second byte and no stop. c stands at each end
// of the vector halves, and last in a block, with its "<" in the next.
TEST(BlockSearch, EachSearchKnowsTheLeadBytesOfTheRule) {
    SearchChoice restore;
    StopRoles roles;
    roles.paired = true;
    roles.mark('<', StopRole::stop);
    std::array<bool, 256> may{};
    may['<'] = true;
    ByteClasses classes;
    classes.compile(may);
    const PairTable pairs;
    for (BlockSearch s : block_searches()) {
        use_block_search(s);
        for (std::size_t at : {0, 15, 16, 31}) {
            for (int c = 1; c < 256; ++c) {
                if (c == '<') continue;
                std::string line(64, 'x');
                line[at] = static_cast<char>(c);
                line[at + 1] = '<';
                BlockCache kept;
                const std::size_t found =
                    LineSearch(line, 1, classes, pairs, kept).find(0, roles, 0);
                EXPECT_EQ(is_lead_byte(static_cast<unsigned char>(c)) ? line.size() : at + 1, found)
                    << block_search_name(s) << " byte " << c << " at " << at;
            }
        }
    }
}

// The first position from `from` at which the walk must look, found byte by
// byte as the walk goes.
std::size_t walked_stop(const std::string& line, std::size_t from, const StopRoles& roles,
                        const PairTable& pairs, std::uint32_t rules) {
    const auto* p = reinterpret_cast<const unsigned char*>(line.c_str());
    for (std::size_t j = from;;) {
        const unsigned char c = p[j];
        const StopRole r = roles.role[c];
        if (c == 0 || r == StopRole::stop || r == StopRole::step || r == StopRole::enter) return j;
        if (r == StopRole::pair && (pairs.bits(c, p[j + 1]) & rules)) return j;
        j += roles.paired && is_lead_byte(c) && p[j + 1] != 0 ? 2 : 1;
    }
}

// Bytes that make long runs of lead bytes, stops in both letter cases,
// pairs, and (rarely) a NUL inside the line.
const unsigned char alphabet[] = {'<',  '>',  '"',  'c',  'C',  'h',  'x',  ' ',  '\n', 0x82, 0x4F,
                                  0x9F, 0xE0, 0xFC, 0x81, 0x80, 0xA0, 0xB1, 0xDE, 0xFD, 0x40, 0x7F};

// Two states' roles over random bytes of the alphabet: one that pairs, and
// one that walks byte by byte.
struct RandomRoles {
    StopRoles roles[2];
    PairTable pairs;
    ByteClasses classes;

    explicit RandomRoles(std::mt19937& gen) {
        std::array<bool, 256> may{};
        roles[0].paired = true;
        for (StopRoles& r : roles) {
            for (unsigned char c : alphabet) {
                switch (gen() % 6) {
                    case 0:
                        r.mark(c, StopRole::stop);
                        break;
                    case 1:
                        r.mark(c, StopRole::pair);
                        break;
                    case 2:
                        r.mark(c, StopRole::enter);
                        break;
                    default:
                        break;
                }
                may[c] = may[c] || r.role[c] != StopRole::pass;
            }
        }
        for (unsigned char c : alphabet)
            for (unsigned char d : alphabet)
                if (gen() % 3 == 0) pairs.add(c, d, 1u << (gen() % 2));
        classes.compile(may);
    }
};

// Searches with the kept block, as the walk makes them one after another
// (now in one state, now in the other, at times after an edit), find what
// the byte-by-byte walk finds, with each block search.
TEST(BlockSearch, FindsWhatTheWalkFinds) {
    SearchChoice restore;
    for (BlockSearch s : block_searches()) {
        use_block_search(s);
        std::mt19937 gen(11);
        for (int i = 0; i < 1500; ++i) {
            RandomRoles r(gen);
            std::string line;
            for (std::size_t n = gen() % (i % 10 ? 80 : 400); n > 0; --n)
                line += static_cast<char>(alphabet[gen() % std::size(alphabet)]);
            if (gen() % 40 == 0 && !line.empty()) line[gen() % line.size()] = '\0';
            BlockCache kept;
            unsigned version = 1;
            for (std::size_t from = 0; from <= line.size();) {
                const StopRoles& roles = r.roles[gen() % 2];
                const std::uint32_t rules = gen() % 4;
                if (gen() % 10 == 0) ++version;
                LineSearch search(line, version, r.classes, r.pairs, kept);
                const std::size_t found = search.find(from, roles, rules);
                ASSERT_EQ(walked_stop(line, from, roles, r.pairs, rules), found)
                    << block_search_name(s) << " line " << i << " from " << from;
                if (found >= line.size()) break;
                from = found + 1 + gen() % 3;
            }
        }
    }
}

// Every option set gives byte classes that the vector searches test
// directly, without falling back to a slower form.
TEST(BlockSearch, TheWalksBytesFitTheVectorForms) {
    auto expect_fit = [](const WalkOptions& o, const char* options) {
        const RunTables t = run_tables(o);
        EXPECT_TRUE(t.classes.fits_nibbles) << options;
        EXPECT_TRUE(t.classes.fits_ranges) << options;
    };
    expect_fit({}, "none");
    WalkOptions every;
    for (const OptionRow* row : walk_options()) {
        WalkOptions one;
        set_option(one, *row);
        expect_fit(one, row->name);
        set_option(every, *row);
    }
    expect_fit(every, "every one");
}

}  // namespace
}  // namespace tagpolish
