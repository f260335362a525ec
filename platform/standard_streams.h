// The standard streams, as the process finds them when it starts.
#pragma once

namespace tagpolish {

// The null device as a message names it: "/dev/null", or "NUL" on Windows.
extern const char* const null_device;

// Takes every closed standard stream: 0 write-only and 1 and 2 read-only
// on the null device, so that no file the run opens gets one of their
// numbers (a message would go into a page) and any use of them still
// fails. Makes a file-size limit fail a write instead of ending the
// process (POSIX), and puts every standard stream in binary mode, so that
// CR LF and 0x1A pass as they are (Windows). Returns 0, or the error of
// the null device's open. Called first, before any file is opened.
int take_standard_streams();

}  // namespace tagpolish
