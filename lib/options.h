// The options: the record of what the command line set, and one table of
// every option the program takes, from which the parsing, the reset, the
// help, the walk's options and the tests' option sets are all made.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

#include "lib/diag.h"
#include "lib/walk_options.h"

namespace tagpolish {

// The command line's record: 0 at start, set only by option parsing (to
// the value of their option's row), read by the driver. The walk's options
// are recorded in walk_flags, from which each page's walk is handed its
// own copy (walk_options_given).
inline WalkOptions walk_flags;
inline int opt_w;
inline int opt_dry_run, opt_list, opt_null;
inline int opt_r, opt_follow_links, opt_quiet, opt_report, opt_force;
inline int opt_jobs;                  // --jobs=N; 0: not given
inline int opt_to_utf8;               // --to-utf8: 1; --to-utf8=replace: 2; 0: not given
inline constexpr int max_jobs = 256;  // the most --jobs takes

// The suffixes of --backup, --restore and --remove-backups (".orig", or the
// text after "="); null when the option is not given.
inline const char *backup_suffix, *restore_suffix, *remove_suffix;

// The patterns of --include= and --exclude=, in the order given.
inline std::vector<const char*> include_globs, exclude_globs;

// How an option is written on the command line.
enum class OptionForm : unsigned char {
    letter,         // one letter of a cluster: "-akn"
    delete_letter,  // one letter of a delete cluster: "-d:cf"
    word,           // a long option alone: "--list"
    with_value,     // a long option and its value: "--jobs=N", "--backup[=SUFFIX]"
    action,         // -usage, --help, --version and "--", which set no flag
};

// What an option changes.
enum class OptionRole : unsigned char {
    edit,    // the text of the page
    check,   // how the page's markup is checked (-i)
    run,     // how the run goes: where the text goes, which files, what is said
    output,  // how the edited text is written (--to-utf8): it changes the text,
             // as an edit does, but after the walk, which never reads it
};

// One option. A letter or word sets its flag to its value; an option with
// a value sets its flag (a number), its text (a suffix, ".orig" when none
// is given) or adds to its list (a pattern), whichever it has.
struct OptionRow {
    OptionForm form;
    const char* name;  // as typed: "-a", "-d:c", "--list", "--backup"
    OptionRole role = OptionRole::run;
    int* flag = nullptr;      // a run option's flag
    WalkFlag walk = nullptr;  // or the field of the walk's options it sets
    int value = 1;
    const char** text = nullptr;
    std::vector<const char*>* list = nullptr;
    bool walk_only = false;        // taken only with -r
    const char* needs = nullptr;   // the name of the option it is taken only with
    const char* help = "";         // its --help line after the name column; "\n" breaks it
    const char* shown = nullptr;   // the name column of --help, when not the name
    int least = 0, most = 0;       // the range of a number
    const char* choice = nullptr;  // the one value an option alone may also take
    MsgFormat<const char*> out_of_range = "%s\n";  // said, with its name, of any other value

    // The letter of a cluster row.
    char letter() const { return std::string_view(name).back(); }
    const char* column() const { return shown != nullptr ? shown : name; }
};

// The table of options, written with a maker for each form of row.
namespace option_table {

constexpr OptionRow action(const char* name, const char* help) {
    return {.form = OptionForm::action, .name = name, .value = 0, .help = help};
}
constexpr OptionForm letter_form(const char* name) {
    return name[1] == 'd' ? OptionForm::delete_letter : OptionForm::letter;
}
// A letter that the walk reads.
constexpr OptionRow letter(const char* name, OptionRole role, WalkFlag walk, const char* help,
                           int value = 1) {
    return {.form = letter_form(name),
            .name = name,
            .role = role,
            .walk = walk,
            .value = value,
            .help = help};
}
// A letter of how the run goes.
constexpr OptionRow letter(const char* name, int* flag, const char* help) {
    return {.form = letter_form(name), .name = name, .flag = flag, .help = help};
}
constexpr OptionRow word(const char* name, int* flag, const char* help, bool walk_only = false) {
    return {
        .form = OptionForm::word, .name = name, .flag = flag, .walk_only = walk_only, .help = help};
}
// A long option that edits, as the letters do (also without -w), and
// only with the option named needs.
constexpr OptionRow edit_word(const char* name, WalkFlag walk, const char* needs,
                              const char* help) {
    return {.form = OptionForm::word,
            .name = name,
            .role = OptionRole::edit,
            .walk = walk,
            .needs = needs,
            .help = help};
}
// A number from least to most; any other value is refused with the
// message out_of_range (a format of the option's name, its range in words).
constexpr OptionRow number(const char* name, int* flag, const char* shown, const char* help,
                           int least, int most, MsgFormat<const char*> out_of_range) {
    return {.form = OptionForm::with_value,
            .name = name,
            .flag = flag,
            .help = help,
            .shown = shown,
            .least = least,
            .most = most,
            .out_of_range = out_of_range};
}
// An option alone (its flag set to 1) or with the one value it takes (set
// to 2); any other value is refused with the message other.
constexpr OptionRow choice(const char* name, int* flag, const char* value, const char* shown,
                           const char* help, MsgFormat<const char*> other) {
    return {.form = OptionForm::with_value,
            .name = name,
            .role = OptionRole::output,
            .flag = flag,
            .help = help,
            .shown = shown,
            .choice = value,
            .out_of_range = other};
}
constexpr OptionRow suffix(const char* name, const char** text, const char* shown,
                           const char* help) {
    return {
        .form = OptionForm::with_value, .name = name, .text = text, .help = help, .shown = shown};
}
constexpr OptionRow pattern(const char* name, std::vector<const char*>* list, const char* shown,
                            const char* help) {
    return {.form = OptionForm::with_value,
            .name = name,
            .list = list,
            .walk_only = true,
            .help = help,
            .shown = shown};
}

constexpr OptionRole edit = OptionRole::edit;

// Every option, in the order of --help and the manual's OPTIONS section.
// (The Japanese text of -usage is fixed apart from this table.)
inline constexpr OptionRow rows[] = {
    action("-usage", "print the help text in Japanese (Shift_JIS)"),
    action("--help", "print this help"),
    action("--version", "print the version"),
    letter("-a", edit, &WalkOptions::a, "full-width Latin letters become ASCII letters"),
    letter("-c", edit, &WalkOptions::c, "names in tags (and values like align=) become upper case"),
    letter("-i", OptionRole::check, &WalkOptions::i, "ignore tag-bracket errors"),
    letter("-j", edit, &WalkOptions::j,
           "join lines that do not end in '>' (not in <pre>/<listing>)"),
    letter("-k", edit, &WalkOptions::k, "half-width katakana outside tags become full-width"),
    letter("-n", edit, &WalkOptions::n, "full-width digits become ASCII digits"),
    letter("-s", edit, &WalkOptions::s, "as -c, but to lower case; wins over -c"),
    letter("-u", edit, &WalkOptions::u,
           "link and image references point into the page's directory;\n"
           "those to other sites (http:, //host) stay",
           4),
    edit_word("--flatten-offsite", &WalkOptions::flatten_offsite, "-u",
              "with -u: cut references to other sites down too (a mirror)"),
    choice("--to-utf8", &opt_to_utf8, "replace", "--to-utf8[=replace]",
           "write the text in UTF-8, read as browsers read Shift_JIS;\n"
           "each declaration says UTF-8 (=replace: bytes that make no\n"
           "character become U+FFFD; otherwise the page is refused)",
           "%s: give --to-utf8 alone or --to-utf8=replace\n"),
    letter("-w", &opt_w, "write the result back over each FILE"),
    letter("-r", &opt_r, "with -w: edit the pages in each FOLDER and the ones below"),
    word("--recursive", &opt_r, "the same as -r"),
    pattern("--include", &include_globs, "--include=GLOB",
            "with -r: edit the files named so (default *.htm, *.html)"),
    pattern("--exclude", &exclude_globs, "--exclude=GLOB",
            "with -r: leave out the files and folders named so"),
    word("--follow-links", &opt_follow_links, "with -r: follow symbolic links, not pass them over",
         true),
    number("--jobs", &opt_jobs, "--jobs=N",
           "with -w: edit N pages at once (default: 1, with -r one per\nprocessor)", 1, max_jobs,
           "%s: give a number of jobs from 1 to 256\n"),
    word("--quiet", &opt_quiet, "with -w: no status line on a terminal"),
    word("--dry-run", &opt_dry_run, "with -w: change no file, name each file that would change"),
    word("--list", &opt_list, "with -w: name each file rewritten, then a summary"),
    word("--report", &opt_report, "with -w: name each page that changes, with its edits"),
    word("--null", &opt_null, "end the names of --list, --report and --dry-run in NUL"),
    suffix("--backup", &backup_suffix, "--backup[=SUFFIX]",
           "with -w: keep the old text as FILE.orig (or FILE+SUFFIX)"),
    suffix("--restore", &restore_suffix, "--restore[=SUFFIX]",
           "with -w: put each backup back in place of its page"),
    suffix("--remove-backups", &remove_suffix, "--remove-backups[=SUFFIX]",
           "with -w: remove each backup"),
    word("--force", &opt_force, "with --restore: also over a page changed since its backup"),
    action("--", "end the options: every argument after it is a FILE"),
    letter("-d:a", edit, &WalkOptions::del_a, "remove link tags"),
    letter("-d:b", edit, &WalkOptions::del_b, "remove bgcolor= attributes"),
    letter("-d:c", edit, &WalkOptions::del_c, "remove comments"),
    letter("-d:f", edit, &WalkOptions::del_f, "remove font tags"),
    letter("-d:h", edit, &WalkOptions::del_h,
           "remove charset= settings, also inside quoted values"),
    letter("-d:i", edit, &WalkOptions::del_i, "remove image tags"),
    letter("-d:l", edit, &WalkOptions::del_l, "remove align= and valign= inside tables"),
    letter("-d:o", edit, &WalkOptions::del_o, "remove bgsound tags"),
    letter("-d:s", edit, &WalkOptions::del_s, "remove the size= of font tags"),
};

}  // namespace option_table

inline constexpr const auto& option_rows = option_table::rows;

// The rows of the options that the walk of a page reads (the edits and
// -i), in the table's order: the letters a fuzzer or a test turns on.
std::span<const OptionRow* const> walk_options();

// The record a row's option sets: its flag, or its field of walk_flags.
inline int* flag_of(const OptionRow& row) {
    return row.walk != nullptr ? &(walk_flags.*row.walk) : row.flag;
}

// Sets the flag of a letter's or word's row as the command line would.
inline void set_option(const OptionRow& row) {
    *flag_of(row) = row.value;
}

// Sets the field of a walk option's row in o, as the command line would.
inline void set_option(WalkOptions& o, const OptionRow& row) {
    o.*row.walk = row.value;
}

// The walk's options as the command line gave them.
inline WalkOptions walk_options_given() {
    return walk_flags;
}

// The row of the option named so ("-u", "--force"), or nullptr.
const OptionRow* find_row(std::string_view name);

// Whether an option that edits the text was given.
bool edits_asked();

// Clears every option (for tests and the fuzzer; the program never clears
// one).
void reset_options();

}  // namespace tagpolish
