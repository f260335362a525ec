// The benchmark's test pages: a realistic Japanese page in Shift_JIS, or a
// pathological one of long lines. Every page is well-formed for the program
// (brackets pair up, comments close) and decodes as CP932, so each peer
// tool accepts it too. The text comes from a fixed seed: the same size
// always gives the same page.
#pragma once

#include <cstddef>
#include <string>

namespace tagpolish {

// About size bytes of ordinary markup.
std::string realistic_page(std::size_t size);

// 255,999-byte lines of half-width katakana, and lines full of tags.
std::string pathological_page(std::size_t size);

}  // namespace tagpolish
