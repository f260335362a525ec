// What the process makes sure of before it opens any file.
#pragma once

namespace tagpolish {

// Takes every closed standard descriptor: 0 write-only and 1 and 2
// read-only on /dev/null, so that no file the run opens gets one of their
// numbers (a message would go into a page) and any use of them still
// fails. False, with a message where one can go, when /dev/null cannot be
// opened.
bool take_standard_descriptors();

}  // namespace tagpolish
