// The blocks that tags open: script blocks, raw blocks (style, textarea,
// xmp, plaintext), whose text the walk leaves as it is, and blocks of
// preformatted text (pre, listing), whose lines -j keeps. A tag opens one
// only by its whole name; a block ends only at the end tag of its kind.
#pragma once

namespace tagpolish {

// A block that a tag opens at its ">". Inside a script block the walk
// still looks for comment markers and "</script>"; inside the others
// (raw blocks) it looks at nothing but the end tag of their kind, and a
// plaintext block has none.
enum class BlockKind : unsigned char { none, script, style, textarea, xmp, plaintext };

// A block of preformatted text, where -j keeps every line end.
enum class Preformatted : unsigned char { none, pre, listing };

// The block that the tag whose "<" is at p opens at its ">", if any. (The
// exact "<script>" the walk takes apart, wherever it stands.)
BlockKind opened_block(const char* p);

// Whether the end tag of raw block b begins at p.
bool ends_raw_block(BlockKind b, const char* p);

// At the "<" of a tag at p: the preformatted block it opens or ends.
Preformatted preformatted_after(Preformatted now, const char* p);

}  // namespace tagpolish
