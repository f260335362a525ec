// One input of a run under -w, from the moment it is found to the moment
// its fate is told: what its worker found out and said, kept until its
// turn comes in the order the inputs were found.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

#include "driver/rewrite/rewrite.h"
#include "driver/site/edited_files.h"
#include "engine/edits.h"
#include "lib/diag.h"
#include "platform/file_ops.h"

namespace tagpolish {

// Where a page stands between the run and its workers.
enum class Stage {
    found,    // not given to a worker (or taken back)
    queued,   // waits for a worker
    running,  // a worker edits it
    done,     // its worker is done with it
};

class Page : public MsgDest {
  public:
    // A name given (folder null), or the entry of a folder that the walk
    // holds open, shown as the folder's name and the entry's own
    // (entry_at is where the entry's own name begins in name).
    explicit Page(std::string shown, std::shared_ptr<const Fd> folder = nullptr,
                  std::size_t entry_at = 0);

    // How the page is found again when it is opened.
    InputName input(bool follow_link) const;

    // Takes a message: kept for the page's turn, or written at once while
    // the page is live (the one the run waits for, all before it told).
    void take(std::string_view text) override;
    // Writes what the page has said so far, and forgets it.
    void tell();
    // Forgets what it has said (a page done again, or passed over).
    void forget() { said_.clear(); }
    bool live = false;
    MsgDest* out = nullptr;  // where it tells (null: standard error)

    std::string name;
    std::shared_ptr<const Fd> folder;
    std::size_t entry_at = 0;

    // Set by the run before a worker takes it; the worker's answers after.
    Stage stage = Stage::found;
    bool may_wait = false;  // may wait for another program's lock
    Fate fate = Fate::not_reached;
    std::unique_ptr<FileRewrite> file;  // a rewrite whose new text is whole
    std::optional<Seen> seen;           // the file as it was opened
    std::optional<FileId> left;         // unchanged: the file as it was left
    FileId old;                         // to be replaced: the old file read
    EditCounts counts{};                // the acts of each edit
    std::uint64_t bytes = 0;            // of the page, read
    bool out_of_memory = false;         // the worker ran out of memory on it

    std::string listed;  // what --list names, when not name
    bool given = false;  // a worker is to edit it, or has

    // Set by the run once the page's turn has come.
    std::size_t pending = 0;               // its record of EditedFiles while pending
    const FileRewrite* placing = nullptr;  // its rewrite in the batch

  private:
    std::string said_;
};

// How a page waits for another program's lock on it: only when the run
// lets it (may_wait), and not once the run lets go of its pages
// (letting_go).
OpenHooks lock_waits(const Page& page, const std::function<bool()>& letting_go);

// A page whose fate is told at once (a note about something the walk met),
// with what is said of it: fmt with the page's name first.
template <class... Args>
std::unique_ptr<Page> note_page(std::string name, Fate fate, int error,
                                std::type_identity_t<MsgFormat<const char*, Args...>> fmt,
                                Args... args) {
    auto page = std::make_unique<Page>(std::move(name));
    page->fate = fate;
    page->stage = Stage::done;
    const MsgTo to(page.get());
    errmsg_why(error, fmt, page->name.c_str(), args...);
    return page;
}

}  // namespace tagpolish
