// The inputs of a run under -w, in the order given: each name, and with
// -r, for a name that leads to a folder, what the walk meets in it.
#pragma once

#include <cstdint>
#include <memory>

#include "driver/site/page.h"
#include "driver/site/site_walk.h"
#include "platform/file_ops.h"

namespace tagpolish {

class Inputs {
  public:
    // names[0] to names[count - 1]; walk is null without -r.
    Inputs(char** names, int count, const WalkRules* walk, FileOps& ops = system_file_ops());

    // The next input as a page to be edited, or a note about what the
    // walk met as a page whose fate is told; null when there is none.
    std::unique_ptr<Page> next();
    // How many inputs were found so far, notes included.
    std::uint64_t found() const { return found_; }
    // Whether every input has been found: each name taken, each walk ended.
    bool all_found() const { return at_ == count_ && (!walk_ || walk_->done()); }
    // The walk that the page last given came from, or null.
    const SiteWalk* walk() const { return walk_.get(); }
    // Says which inputs a run that stopped did not reach: the folder it
    // was walking, and each name after it.
    void name_unreached() const;

  private:
    char** names_;
    int count_;
    int at_ = 0;  // the next name
    const WalkRules* rules_;
    FileOps& ops_;
    std::unique_ptr<SiteWalk> walk_;
    const char* walked_ = nullptr;  // the name of the folder walked
    std::uint64_t found_ = 0;
};

}  // namespace tagpolish
