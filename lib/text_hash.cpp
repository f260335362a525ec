#include "lib/text_hash.h"

#include <algorithm>
#include <cstring>

namespace tagpolish {
namespace {

constexpr std::uint64_t prime1 = 0x9E3779B185EBCA87ULL;
constexpr std::uint64_t prime2 = 0xC2B2AE3D27D4EB4FULL;
constexpr std::uint64_t prime3 = 0x165667B19E3779F9ULL;
constexpr std::uint64_t prime4 = 0x85EBCA77C2B2AE63ULL;
constexpr std::uint64_t prime5 = 0x27D4EB2F165667C5ULL;

constexpr std::uint64_t rotl(std::uint64_t x, int r) {
    return (x << r) | (x >> (64 - r));
}

// Little-endian loads, whatever the byte order of the machine.
std::uint64_t load64(const unsigned char* p) {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = v << 8 | p[i];
    return v;
}

std::uint64_t load32(const unsigned char* p) {
    return std::uint64_t{p[0]} | std::uint64_t{p[1]} << 8 | std::uint64_t{p[2]} << 16 |
           std::uint64_t{p[3]} << 24;
}

constexpr std::uint64_t round(std::uint64_t acc, std::uint64_t input) {
    return rotl(acc + input * prime2, 31) * prime1;
}

constexpr std::uint64_t merge(std::uint64_t acc, std::uint64_t lane) {
    return (acc ^ round(0, lane)) * prime1 + prime4;
}

}  // namespace

void TextHash::take_stripe(const unsigned char* p) {
    if (!started_) {
        lanes_ = {prime1 + prime2, prime2, 0, 0 - prime1};
        started_ = true;
    }
    for (std::size_t i = 0; i < lanes_.size(); ++i) lanes_[i] = round(lanes_[i], load64(p + 8 * i));
}

void TextHash::add(std::string_view bytes) {
    auto p = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t n = bytes.size();
    size_ += n;
    if (held_size_ > 0) {
        const std::size_t take = std::min(n, stripe - held_size_);
        std::memcpy(held_.data() + held_size_, p, take);
        held_size_ += take;
        p += take;
        n -= take;
        if (held_size_ < stripe) return;
        take_stripe(held_.data());
        held_size_ = 0;
    }
    for (; n >= stripe; p += stripe, n -= stripe) take_stripe(p);
    std::memcpy(held_.data(), p, n);
    held_size_ = n;
}

std::uint64_t TextHash::value() const {
    std::uint64_t h = prime5;
    if (started_) {
        const auto& v = lanes_;
        h = rotl(v[0], 1) + rotl(v[1], 7) + rotl(v[2], 12) + rotl(v[3], 18);
        for (std::uint64_t lane : v) h = merge(h, lane);
    }
    h += size_;
    const unsigned char* p = held_.data();
    std::size_t n = held_size_;
    for (; n >= 8; p += 8, n -= 8) h = rotl(h ^ round(0, load64(p)), 27) * prime1 + prime4;
    if (n >= 4) {
        h = rotl(h ^ load32(p) * prime1, 23) * prime2 + prime3;
        p += 4;
        n -= 4;
    }
    for (; n > 0; ++p, --n) h = rotl(h ^ *p * prime5, 11) * prime1;
    h ^= h >> 33;
    h *= prime2;
    h ^= h >> 29;
    h *= prime3;
    h ^= h >> 32;
    return h;
}

}  // namespace tagpolish
