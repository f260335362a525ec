// The line end of an input, which its output is written with.
#pragma once

namespace tagpolish {

// How the input ended its lines. The engine sees every line end as "\n";
// the output turns each "\n" back into the input's own line end.
enum class LineEnd {
    lf,    // "\n", written as it is
    crlf,  // "\r\n": the first "\n" of the input had a "\r" before it
    cr,    // "\r" alone: the input holds no "\n" and at least one "\r"
};

}  // namespace tagpolish
