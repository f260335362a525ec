// The block searches. Each classifies a block of 32 bytes into three masks,
// bit k for byte k: `may` (a byte that may matter in some state), `lead`
// (a byte that begins a double-byte character) and `nul`. Only the
// classification differs between the portable and the vector searches;
// what follows from the masks is the same for all.
//
// Where a character starts follows from the masks alone: a byte outside the
// lead range always ends a character, so within each run of lead-range
// bytes the bytes pair up from the run's start. The walk's own rule, that a
// lead byte before a NUL counts alone, needs nothing here: a NUL stops the
// search wherever it stands.
#include "engine/block_search.h"

#include <bit>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "lib/sjstr.h"

namespace tagpolish {
namespace {

struct Masks {
    std::uint32_t may = 0, lead = 0, nul = 0;
};

// Nibble tables: a byte is in a set when low[its low nibble] and
// high[its high nibble] share a bit; each bit stands for the high nibbles
// that go with the same low nibbles. Up to eight such groups fit.
struct NibbleTables {
    alignas(16) std::array<unsigned char, 16> low{}, high{};
    bool fits = true;
};

constexpr NibbleTables nibble_tables(const std::array<bool, 256>& bytes) {
    std::array<unsigned, 16> lows{};
    for (int c = 1; c < 256; ++c)
        if (bytes[c]) lows[c >> 4] |= 1u << (c & 15);
    std::array<unsigned, 8> groups{};
    std::size_t group_count = 0;
    NibbleTables t;
    for (int h = 0; h < 16; ++h) {
        if (!lows[h]) continue;
        std::size_t g = 0;
        while (g < group_count && groups[g] != lows[h]) ++g;
        if (g == groups.size()) {
            t.fits = false;
            return t;
        }
        if (g == group_count) groups[group_count++] = lows[h];
        t.high[h] = static_cast<unsigned char>(1u << g);
        for (int l = 0; l < 16; ++l)
            if (lows[h] >> l & 1) t.low[l] = static_cast<unsigned char>(t.low[l] | 1u << g);
    }
    return t;
}

constexpr std::array<bool, 256> lead_bytes() {
    std::array<bool, 256> lead{};
    for (int c = 0; c < 256; ++c) lead[c] = is_lead_byte(static_cast<unsigned char>(c));
    return lead;
}

constexpr NibbleTables lead_nibbles = nibble_tables(lead_bytes());
static_assert(lead_nibbles.fits, "the lead bytes must fit the nibble tables");

Masks classify_portable(const unsigned char* p, const ByteClasses& c) {
    Masks m;
    for (unsigned k = 0; k < block_size; ++k) {
        const unsigned bits = c.byte_class[p[k]];
        m.may |= std::uint32_t{(bits & 1u) != 0} << k;
        m.lead |= std::uint32_t{(bits & 2u) != 0} << k;
        m.nul |= std::uint32_t{(bits & 4u) != 0} << k;
    }
    return m;
}

#if defined(__x86_64__)

// SSE2: 16 bytes at a time, a range at a time. A byte x lies in a range
// when x - lo, taken without sign, is at most the span.
__m128i in_range_sse2(__m128i x, __m128i lo, __m128i span) {
    const __m128i d = _mm_sub_epi8(x, lo);
    return _mm_cmpeq_epi8(_mm_max_epu8(d, span), span);
}

__m128i in_ranges_sse2(__m128i x, const VectorRange* r, std::size_t n, __m128i acc) {
    for (std::size_t i = 0; i < n; ++i) {
        const __m128i lo = _mm_load_si128(reinterpret_cast<const __m128i*>(r[i].lo.data()));
        const __m128i span = _mm_load_si128(reinterpret_cast<const __m128i*>(r[i].span.data()));
        acc = _mm_or_si128(acc, in_range_sse2(x, lo, span));
    }
    return acc;
}

// The masks of 16 bytes, in their low 16 bits.
Masks classify16_sse2(const unsigned char* p, const ByteClasses& c) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    __m128i may = in_ranges_sse2(x, c.ranges.data(), c.range_count, _mm_setzero_si128());
    // A letter in either case is its small letter with bit 0x20 set.
    const __m128i folded = _mm_or_si128(x, _mm_set1_epi8(0x20));
    may = in_ranges_sse2(folded, c.letter_ranges.data(), c.letter_range_count, may);
    __m128i lead = _mm_setzero_si128();
    for (const auto& [lo, hi] : lead_byte_ranges)
        lead = _mm_or_si128(lead, in_range_sse2(x, _mm_set1_epi8(static_cast<char>(lo)),
                                                _mm_set1_epi8(static_cast<char>(hi - lo))));
    const __m128i nul = _mm_cmpeq_epi8(x, _mm_setzero_si128());
    return {static_cast<std::uint32_t>(_mm_movemask_epi8(may)),
            static_cast<std::uint32_t>(_mm_movemask_epi8(lead)),
            static_cast<std::uint32_t>(_mm_movemask_epi8(nul))};
}

Masks classify_sse2(const unsigned char* p, const ByteClasses& c) {
    if (!c.fits_ranges) return classify_portable(p, c);
    const Masks lo = classify16_sse2(p, c), hi = classify16_sse2(p + 16, c);
    return {lo.may | hi.may << 16, lo.lead | hi.lead << 16, lo.nul | hi.nul << 16};
}

// AVX2: all 32 bytes at once, through the nibble tables.
__attribute__((target("avx2"))) std::uint32_t in_nibble_tables(__m256i low_nibbles,
                                                               __m256i high_nibbles, __m256i low,
                                                               __m256i high) {
    const __m256i both = _mm256_and_si256(_mm256_shuffle_epi8(low, low_nibbles),
                                          _mm256_shuffle_epi8(high, high_nibbles));
    const __m256i none = _mm256_cmpeq_epi8(both, _mm256_setzero_si256());
    return ~static_cast<std::uint32_t>(_mm256_movemask_epi8(none));
}

__attribute__((target("avx2"))) __m256i nibble_table(const std::array<unsigned char, 16>& t) {
    return _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(t.data())));
}

__attribute__((target("avx2"))) Masks classify_avx2(const unsigned char* p, const ByteClasses& c) {
    if (!c.fits_nibbles) return classify_sse2(p, c);
    const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m256i nibble = _mm256_set1_epi8(0x0F);
    const __m256i low_nibbles = _mm256_and_si256(x, nibble);
    const __m256i high_nibbles = _mm256_and_si256(_mm256_srli_epi16(x, 4), nibble);
    Masks m;
    m.may = in_nibble_tables(low_nibbles, high_nibbles, nibble_table(c.low), nibble_table(c.high));
    m.lead = in_nibble_tables(low_nibbles, high_nibbles, nibble_table(lead_nibbles.low),
                              nibble_table(lead_nibbles.high));
    m.nul = static_cast<std::uint32_t>(
        _mm256_movemask_epi8(_mm256_cmpeq_epi8(x, _mm256_setzero_si256())));
    return m;
}

#endif

using Classify = Masks (*)(const unsigned char*, const ByteClasses&);

// The masks of block `at` of line p, whose byte n is a NUL. A block that
// would reach past the NUL is read from further back, its bits moved down;
// a line shorter than a block is read from a copy padded with NULs.
template <Classify classify>
[[gnu::always_inline]] inline Masks classify_block(const unsigned char* p, std::size_t at,
                                                   std::size_t n, const ByteClasses& c) {
    Masks m;
    if (n + 1 - at >= block_size) {
        m = classify(p + at, c);
    } else if (n + 1 >= block_size) {
        const auto back = static_cast<unsigned>(at - (n + 1 - block_size));
        m = classify(p + n + 1 - block_size, c);
        m = {m.may >> back, m.lead >> back, m.nul >> back};
    } else {
        alignas(block_size) unsigned char tail[block_size] = {};
        std::memcpy(tail, p + at, n + 1 - at);
        m = classify(tail, c);
    }
    return m;
}

// The first block from `at` on that holds a byte that may stop the walk (a
// NUL at the latest), into b, with the second bytes of the characters that
// start from `at` on (carry: byte `at` completes one); `paired` leaves the
// second bytes out of the bytes that may stop.
template <Classify classify>
[[gnu::always_inline]] inline void next_block(const unsigned char* p, std::size_t at, std::size_t n,
                                              bool carry, bool paired, const ByteClasses& c,
                                              BlockCache& b) {
    for (;; at += block_size) {
        const Masks m = classify_block<classify>(p, at, n, c);
        const std::uint32_t second = second_bytes(m.lead, carry);
        if (((m.may & ~(paired ? second : 0)) | m.nul) != 0) {
            b.at = at;
            b.may = m.may, b.lead = m.lead, b.nul = m.nul, b.second = second;
            return;
        }
        // A character that the block's last byte begins ends in the next.
        carry = (m.lead & ~second) >> (block_size - 1);
    }
}

using NextBlock = void (*)(const unsigned char*, std::size_t, std::size_t, bool, bool,
                           const ByteClasses&, BlockCache&);

void next_block_portable(const unsigned char* p, std::size_t at, std::size_t n, bool carry,
                         bool paired, const ByteClasses& c, BlockCache& b) {
    next_block<classify_portable>(p, at, n, carry, paired, c, b);
}

#if defined(__x86_64__)
__attribute__((flatten)) void next_block_sse2(const unsigned char* p, std::size_t at, std::size_t n,
                                              bool carry, bool paired, const ByteClasses& c,
                                              BlockCache& b) {
    next_block<classify_sse2>(p, at, n, carry, paired, c, b);
}

__attribute__((target("avx2"), flatten)) void next_block_avx2(const unsigned char* p,
                                                              std::size_t at, std::size_t n,
                                                              bool carry, bool paired,
                                                              const ByteClasses& c, BlockCache& b) {
    next_block<classify_avx2>(p, at, n, carry, paired, c, b);
}
#endif

NextBlock next_block_of(BlockSearch s) {
    switch (s) {
#if defined(__x86_64__)
        case BlockSearch::sse2:
            return next_block_sse2;
        case BlockSearch::avx2:
            return next_block_avx2;
#endif
        default:
            return next_block_portable;
    }
}

BlockSearch chosen = block_searches().back();
NextBlock next_block_of_choice = next_block_of(chosen);

// Appends the ranges of consecutive bytes marked in `bytes` to `out`.
template <std::size_t N>
bool add_ranges(const std::array<bool, 256>& bytes, std::array<VectorRange, N>& out,
                std::size_t& count) {
    for (int c = 0; c < 256;) {
        if (!bytes[c]) {
            ++c;
            continue;
        }
        int end = c;
        while (end + 1 < 256 && bytes[end + 1]) ++end;
        if (count == N) return false;
        out[count].lo.fill(static_cast<unsigned char>(c));
        out[count].span.fill(static_cast<unsigned char>(end - c));
        ++count;
        c = end + 1;
    }
    return true;
}

}  // namespace

std::vector<BlockSearch> block_searches() {
    std::vector<BlockSearch> all{BlockSearch::portable};
#if defined(__x86_64__)
    all.push_back(BlockSearch::sse2);
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) all.push_back(BlockSearch::avx2);
#endif
    return all;
}

void use_block_search(BlockSearch s) {
    chosen = s;
    next_block_of_choice = next_block_of(s);
}

BlockSearch block_search() {
    return chosen;
}

const char* block_search_name(BlockSearch s) {
    switch (s) {
        case BlockSearch::sse2:
            return "sse2";
        case BlockSearch::avx2:
            return "avx2";
        default:
            return "portable";
    }
}

void PairTable::add(unsigned char first, unsigned char second, std::uint32_t bits) {
    if (!slot_[first]) {
        rules_.emplace_back();
        rules_.back().fill(0);
        slot_[first] = static_cast<unsigned char>(rules_.size());
    }
    rules_[slot_[first] - 1][second] |= bits;
}

void ByteClasses::compile(const std::array<bool, 256>& bytes) {
    for (int c = 0; c < 256; ++c) {
        byte_class[c] = static_cast<unsigned char>(
            (c != 0 && bytes[c]) | is_lead_byte(static_cast<unsigned char>(c)) << 1 |
            (c == 0) << 2);
    }
    const NibbleTables t = nibble_tables(bytes);
    low = t.low, high = t.high, fits_nibbles = t.fits;
    // Ranges: a letter that matters in both cases is tested once, folded.
    std::array<bool, 256> rest = bytes, letters{};
    rest[0] = false;
    for (int c = 'a'; c <= 'z'; ++c) {
        if (rest[c] && rest[c - 0x20]) letters[c] = true, rest[c] = rest[c - 0x20] = false;
    }
    range_count = letter_range_count = 0;
    fits_ranges = add_ranges(rest, ranges, range_count) &&
                  add_ranges(letters, letter_ranges, letter_range_count);
}

std::uint32_t second_bytes(std::uint32_t lead, bool carry) {
    constexpr std::uint32_t even = 0x55555555;
    const std::uint32_t c = carry ? 1 : 0;
    const std::uint32_t l = lead & ~c;
    const std::uint32_t starts = l & ~(l << 1);
    // Adding a run's first bit clears the run and sets the bit after it, so
    // the sum differs from l in the run and in the byte after it.
    const std::uint32_t from_even = (l + (starts & even)) ^ l;
    const std::uint32_t from_odd = (l + (starts & ~even)) ^ l;
    return (from_even & ~even) | (from_odd & even) | c;
}

std::size_t LineSearch::find_after(std::size_t from, bool carry, const StopRoles& roles,
                                   std::uint32_t rules) {
    BlockCache& b = *block_;
    for (;; carry = (b.lead & ~b.second) >> (block_size - 1), from = b.at + block_size) {
        next_block_of_choice(p_, from, n_, carry, roles.paired, *classes_, b);
        std::uint32_t hits = (b.may & ~(roles.paired ? b.second : 0)) | b.nul;
        for (; hits != 0; hits &= hits - 1) {
            const std::size_t j = b.at + static_cast<std::size_t>(std::countr_zero(hits));
            if (stops_at(j, roles, rules)) return j;
        }
    }
}

}  // namespace tagpolish
