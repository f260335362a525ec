// Finding the next byte that the walk must look at. A line is classified 32
// bytes at a time into bit masks (the bytes that may matter in any state,
// the bytes in the lead range of double-byte characters, NUL); the block
// is kept while the walk goes through it, and each search walks the set
// bits from the cursor, judging each by the roles of the state the walk is
// in.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace tagpolish {

// The bytes classified at once.
inline constexpr std::size_t block_size = 32;

// The ways to classify a block: byte by byte through a table, which every
// machine runs, or with the vector instructions of x86-64 (SSE2, always
// there, and AVX2, where the processor has it).
enum class BlockSearch { portable, sse2, avx2 };

// The block searches this machine runs, the fastest last.
std::vector<BlockSearch> block_searches();

// Chooses the block search; at start it is the fastest this machine runs.
// The tests and the benchmark choose each in turn.
void use_block_search(BlockSearch s);
BlockSearch block_search();
const char* block_search_name(BlockSearch s);

// What a byte means to the walk in one state.
enum class StopRole : unsigned char {
    pass,   // walked over
    stop,   // the walk must look at it
    pair,   // the walk must look at it when the byte after it makes a pair
            // of a rule in force (PairTable)
    step,   // a step of its own walks it (StopRoles::step names which)
    enter,  // walking it puts the walk into another state (StopRoles::step
            // names which); the search stops at both as at a stop
};

// The roles of the bytes in one state. NUL always stops.
struct StopRoles {
    std::array<StopRole, 256> role{};
    std::array<unsigned char, 256> step{};  // the step or state of a `step` or `enter` byte
    // A double-byte character is walked whole: a byte counts only where a
    // character starts.
    bool paired = false;

    // Marks byte c. A byte that two checks may act on stops, unless both
    // are pair rules or name the same step.
    void mark(unsigned char c, StopRole r, unsigned char which = 0) {
        const StopRole old = role[c];
        const bool same =
            old == r && (r == StopRole::stop || r == StopRole::pair || step[c] == which);
        if (old == StopRole::pass || same) {
            role[c] = r;
            step[c] = which;
        } else {
            role[c] = StopRole::stop;
        }
    }
};

// Rules on two bytes: for a first and a second byte, the bits of the rules
// that hold for that pair.
class PairTable {
  public:
    void add(unsigned char first, unsigned char second, std::uint32_t bits);
    std::uint32_t bits(unsigned char first, unsigned char second) const {
        return slot_[first] ? rules_[slot_[first] - 1][second] : 0;
    }

  private:
    std::array<unsigned char, 256> slot_{};  // 0: no rule begins with the byte
    std::vector<std::array<std::uint32_t, 256>> rules_;
};

// A range of byte values (lo, and hi - lo) repeated over a vector register.
struct VectorRange {
    alignas(16) std::array<unsigned char, 16> lo;
    alignas(16) std::array<unsigned char, 16> span;
};

// The bytes that may matter in some state, in the forms the block searches
// test them in.
struct ByteClasses {
    // Per byte: bit 0 "may matter", bit 1 "in the lead range", bit 2 "NUL".
    std::array<unsigned char, 256> byte_class{};
    // Nibble tables: a byte may matter when low[its low nibble] and
    // high[its high nibble] share a bit; each bit stands for the high
    // nibbles that go with the same low nibbles. Up to eight such groups.
    alignas(16) std::array<unsigned char, 16> low{}, high{};
    bool fits_nibbles = true;
    // Ranges of bytes, and of small letters for letters that matter in
    // both cases (tested with bit 0x20 set).
    static constexpr std::size_t ranges_max = 16, letter_ranges_max = 8;
    std::array<VectorRange, ranges_max> ranges;
    std::array<VectorRange, letter_ranges_max> letter_ranges;
    std::size_t range_count = 0, letter_range_count = 0;
    bool fits_ranges = true;

    // Builds every form from the bytes that may matter (NUL aside).
    void compile(const std::array<bool, 256>& bytes);
};

// One block of a line as the last search classified it.
struct BlockCache {
    const char* text = nullptr;  // the line
    unsigned version = 0;        // and its version (LineBuf::version)
    std::size_t at = 0;          // where the block starts
    // Bit k for byte at + k: may matter, lead range, NUL, and second byte
    // of a double-byte character if a character starts at `at`.
    std::uint32_t may = 0, lead = 0, nul = 0, second = 0;
};

// The searches through one version of a line, each for the first position
// from a given one at which the walk must look: a byte that stops in the
// walk's state (a pair where its rule holds) and, when the state pairs,
// starts a character; a NUL; else the line's end. The walk must stand at
// the start of a character there. A NUL must follow the line in memory.
// The block last classified is kept in `kept` for the next search.
class LineSearch {
  public:
    LineSearch(std::string_view line, unsigned version, const ByteClasses& classes,
               const PairTable& pairs, BlockCache& kept)
        : p_(reinterpret_cast<const unsigned char*>(line.data())),
          n_(line.size()),
          classes_(&classes),
          pairs_(&pairs),
          block_(&kept) {
        // A block of another line, or of this one before an edit, does not
        // serve: it is taken to start past the end.
        if (kept.text != line.data() || kept.version != version) {
            kept.at = n_ + 1;
            kept.text = line.data();
            kept.version = version;
        }
    }

    // The search from `from` with the roles of the walk's state and the
    // pair rules in force.
    std::size_t find(std::size_t from, const StopRoles& roles, std::uint32_t rules) {
        // The kept block serves while it covers `from` and, in a state that
        // pairs, agrees that a character starts there: then it agrees on
        // every character after it too.
        const BlockCache& b = *block_;
        const std::size_t k = from - b.at;
        if (k >= block_size || (roles.paired && (b.second >> k & 1)))
            return find_after(from, false, roles, rules);
        std::uint32_t hits = (b.may & ~(roles.paired ? b.second : 0)) | b.nul;
        for (hits &= ~std::uint32_t{0} << k; hits != 0; hits &= hits - 1) {
            const std::size_t j = b.at + static_cast<std::size_t>(std::countr_zero(hits));
            if (stops_at(j, roles, rules)) return j;
        }
        // A character that the block's last byte begins ends in the next.
        const bool carry = (b.lead & ~b.second) >> (block_size - 1);
        return find_after(b.at + block_size, carry, roles, rules);
    }

  private:
    // Whether the walk must look at byte j, a byte that may matter.
    bool stops_at(std::size_t j, const StopRoles& roles, std::uint32_t rules) const {
        const unsigned char c = p_[j];
        const StopRole r = roles.role[c];
        if (r == StopRole::pair) return (pairs_->bits(c, p_[j + 1]) & rules) != 0;
        return r != StopRole::pass || c == 0;
    }
    // The search from `from` on, classifying afresh; carry says that `from`
    // completes a character begun before it.
    std::size_t find_after(std::size_t from, bool carry, const StopRoles& roles,
                           std::uint32_t rules);

    const unsigned char* p_;
    std::size_t n_;
    const ByteClasses* classes_;
    const PairTable* pairs_;
    BlockCache* block_;
};

// The bytes of a block that are the second bytes of double-byte
// characters: `lead` marks the bytes in the lead range, and `carry` says
// that the block's first byte completes a character begun before it.
std::uint32_t second_bytes(std::uint32_t lead, bool carry);

}  // namespace tagpolish
