// What the process makes sure of before it opens any file.
#pragma once

namespace tagpolish {

// Takes every closed standard stream on the null device, and sets up the
// standard streams and the process as the run needs them
// (platform/standard_streams.h). False, with a message where one can go,
// when the null device cannot be opened.
bool take_standard_descriptors();

}  // namespace tagpolish
