// The rewrite of one page step by step, in process: a page dressed with
// what a rewrite must keep, and the rewrite through file calls that a test
// can make fail.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "driver/rewrite/rewrite.h"
#include "platform/file_ops.h"
#include "support/fake_file_ops.h"
#include "support/test_support.h"

namespace tagpolish::test {

// The page's text before the rewrite, and the text the rewrite writes.
inline const std::string old_text = "<p>old</p>\n";
inline const std::string new_text = "<p>new</p>\n";
// The extended attribute that holds an access ACL.
inline constexpr const char* acl = "system.posix_acl_access";

// The mode dress_page gives a page: Windows has none but read-only.
#ifdef _WIN32
inline constexpr std::uint32_t dressed_mode = 0644;
#else
inline constexpr std::uint32_t dressed_mode = 0640;
#endif

// Gives the page at path mode dressed_mode, the attribute user.note (kept
// in kept, where that is not nullptr) and, when asked, an ACL; returns why
// this file system cannot hold them, or "".
std::string dress_page(const std::string& path, bool with_acl, AttributeStore* kept = nullptr);

// A page holding old_text, alone in a folder of its own, dressed by
// dress_page; the fakes of a test keep its user attributes in store where
// the file system keeps none.
struct DressedPage {
    explicit DressedPage(bool with_acl);
    TempDir dir;
    AttributeStore store;
    AttributeStore* kept_in;
    std::string path;
    std::string unable;  // why the file system cannot hold the dressing, or ""
};

// The messages of a case, each after path, with PATH in them made path.
std::string messages(const std::string& path, std::string why);

// Rewrites path with new_text through ops, as -w does once the file is
// found and open: the new file is made, written and put in place, in a
// batch of its own; returns the result and what went to standard error.
std::pair<Fate, std::string> rewrite(const std::string& path, FileOps& ops,
                                     const RewriteSettings& how = {});

}  // namespace tagpolish::test
