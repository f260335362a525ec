// The first line end of an input.
#pragma once

namespace tagpolish {

// How the input ends its first line. The engine sees every line end as
// "\n"; the output writes each line with the line end it came in with, and
// the newline that -j puts before a paragraph with the first one. An input
// with a "\n" ends its lines in "\n" or "\r\n", line by line; one without
// ends them in "\r".
enum class LineEnd {
    lf,    // "\n" (also for an input with no line end at all)
    crlf,  // "\r\n": the first "\n" of the input has a "\r" before it
    cr,    // "\r" alone: the input holds no "\n" and at least one "\r"
};

}  // namespace tagpolish
