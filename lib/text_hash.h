// A 64-bit hash of a byte stream, taken piece by piece as the bytes go by
// (xxHash64's rounds, seed 0): the record that tells whether a file still
// holds what a run wrote into it. It is no defence against someone who
// sets out to make two texts alike, only against an edit by chance.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace tagpolish {

class TextHash {
  public:
    // Takes the next bytes of the stream.
    void add(std::string_view bytes);
    // The hash of every byte taken so far; more may be taken after.
    std::uint64_t value() const;
    // How many bytes were taken.
    std::uint64_t size() const { return size_; }

  private:
    static constexpr std::size_t stripe = 32;
    void take_stripe(const unsigned char* p);

    std::array<std::uint64_t, 4> lanes_{};
    std::array<unsigned char, stripe> held_{};  // the bytes of a stripe not yet whole
    std::size_t held_size_ = 0;
    std::uint64_t size_ = 0;
    bool started_ = false;
};

}  // namespace tagpolish
