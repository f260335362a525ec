// A model of how a page reads, written for the tests apart from the
// program: comments, script and raw blocks, tags split into attribute
// names and values as a browser's tokenizer splits them, preformatted
// blocks, and running text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tagpolish::test {

// An attribute value of a tag: where its bytes are in the page (quotes
// left out), the names of the tag and the attribute in small letters, and
// whether it was quoted.
struct AttributeValue {
    std::string tag, name;
    std::size_t at = 0, size = 0;
    bool quoted = false;
};

// The regions of a page. Comment markers and the exact "<script>" count
// everywhere (but "<!--" not inside a script block); a "<" opens a tag
// only before a letter, "/", "!" or "?", and a "<" that does so inside an
// open tag starts a new tag (as -i reads it); a tag named script opens a
// script block at its ">", and one named style, textarea, xmp or plaintext
// a raw block, which only the end tag of its kind ends (plaintext none);
// a lead byte takes the next byte outside quoted values.
struct PageRegions {
    std::vector<std::string_view> blocks;                  // script and raw block bodies
    std::vector<std::string_view> pre;                     // text between <pre ...> and </pre>
    std::vector<AttributeValue> values;                    // of every tag but declarations
    std::size_t first_text_kana = std::string_view::npos;  // in running text
    std::string text;  // the running text, its line ends left out

    explicit PageRegions(std::string_view page);
};

}  // namespace tagpolish::test
