// The benchmark's test pages: a realistic Japanese page in Shift_JIS, or a
// pathological one of long lines. Every page is well-formed for the program
// (brackets pair up, comments close) and decodes as CP932, so each peer
// tool accepts it too. The text comes from a seed: the same size and seed
// always give the same page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tagpolish {

constexpr std::uint32_t page_seed = 20010401;

// About size bytes of ordinary markup.
std::string realistic_page(std::size_t size, std::uint32_t seed = page_seed);

// Lines of line bytes: half-width katakana, and lines full of tags.
std::string pathological_page(std::size_t size, std::size_t line = 255999);

}  // namespace tagpolish
