// Which script files a run under --to-utf8 converts, as the pages that
// load them see it: a page's <script src=... charset=Shift_JIS> is made to
// say UTF-8 only where the file it names is converted by the same run (or
// is in UTF-8 already); anywhere else the file stays Shift_JIS, and so
// does the attribute.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "driver/site/site_walk.h"
#include "platform/file_ops.h"

namespace tagpolish {

class ConvertedScripts {
  public:
    // The names the run was given; walk: its rules under -r, else null.
    // replace: the conversion writes U+FFFD for what makes no character.
    ConvertedScripts(const std::vector<std::string>& names, const WalkRules* walk, bool replace,
                     FileOps& ops);

    // Whether the script that src names, on the page named page, is
    // converted by the run (or needs no conversion). Any thread may ask.
    bool converts(std::string_view page, std::string_view src);

  private:
    bool taken(const std::string& path) const;
    bool converts_cleanly(const std::string& path);

    std::vector<std::string> names_;  // made plain (plain_path)
    const WalkRules* walk_;
    bool replace_;
    FileOps& ops_;
    std::mutex mutex_;
    std::map<std::string, bool> known_;  // what converts_cleanly said of each path
};

// The path with its "." and ".." steps taken and its slashes single:
// "./a/../b//c" is "b/c"; "." for none. Its names are joined with "/"
// (on Windows, where "\\" separates them too, as well as in its root).
std::string plain_path(std::string_view path);

}  // namespace tagpolish
