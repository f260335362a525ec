// The options: the flags that the command line sets, as the engine and the
// driver both read them, and one table of every option the program takes,
// from which the parsing, the reset, the help and the tests' option sets
// are all made.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

namespace tagpolish {

// Process-wide option flags: 0 at start, set only by option parsing (to the
// value of their option's row, opt_u to 4), read everywhere else.
inline int opt_a, opt_c, opt_i, opt_j, opt_k, opt_n, opt_s, opt_u, opt_w;
inline int del_a, del_b, del_c, del_f, del_h, del_i, del_l, del_o, del_s;
inline int opt_flatten_offsite;
inline int opt_dry_run, opt_list, opt_null;
inline int opt_r, opt_follow_links, opt_quiet, opt_report, opt_force;
inline int opt_jobs;  // --jobs=N; 0: not given
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
    edit,   // the text of the page
    check,  // how the page's markup is checked (-i)
    run,    // how the run goes: where the text goes, which files, what is said
};

// One option. A letter or word sets its flag to its value; an option with
// a value sets its flag (a number), its text (a suffix, ".orig" when none
// is given) or adds to its list (a pattern), whichever it has.
struct OptionRow {
    OptionForm form;
    const char* name;  // as typed: "-a", "-d:c", "--list", "--backup"
    OptionRole role = OptionRole::run;
    int* flag = nullptr;
    int value = 1;
    const char** text = nullptr;
    std::vector<const char*>* list = nullptr;
    bool walk_only = false;       // taken only with -r
    const int* needs = nullptr;   // the flag of the option it is taken only with
    const char* help = "";        // its --help line after the name column; "\n" breaks it
    const char* shown = nullptr;  // the name column of --help, when not the name

    // The letter of a cluster row.
    char letter() const { return std::string_view(name).back(); }
    const char* column() const { return shown != nullptr ? shown : name; }
};

// The table of options, written with a maker for each form of row.
namespace option_table {

constexpr OptionRow action(const char* name, const char* help) {
    return {.form = OptionForm::action, .name = name, .value = 0, .help = help};
}
constexpr OptionRow letter(const char* name, OptionRole role, int* flag, const char* help,
                           int value = 1) {
    const OptionForm form = name[1] == 'd' ? OptionForm::delete_letter : OptionForm::letter;
    return {.form = form, .name = name, .role = role, .flag = flag, .value = value, .help = help};
}
constexpr OptionRow word(const char* name, int* flag, const char* help, bool walk_only = false) {
    return {
        .form = OptionForm::word, .name = name, .flag = flag, .walk_only = walk_only, .help = help};
}
// A long option that edits, as the letters do (also without -w), and
// only with the option whose flag is needs.
constexpr OptionRow edit_word(const char* name, int* flag, const int* needs, const char* help) {
    return {.form = OptionForm::word,
            .name = name,
            .role = OptionRole::edit,
            .flag = flag,
            .needs = needs,
            .help = help};
}
constexpr OptionRow number(const char* name, int* flag, const char* shown, const char* help) {
    return {
        .form = OptionForm::with_value, .name = name, .flag = flag, .help = help, .shown = shown};
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
    letter("-a", edit, &opt_a, "full-width Latin letters become ASCII letters"),
    letter("-c", edit, &opt_c, "names in tags (and values like align=) become upper case"),
    letter("-i", OptionRole::check, &opt_i, "ignore tag-bracket errors"),
    letter("-j", edit, &opt_j, "join lines that do not end in '>' (not in <pre>/<listing>)"),
    letter("-k", edit, &opt_k, "half-width katakana outside tags become full-width"),
    letter("-n", edit, &opt_n, "full-width digits become ASCII digits"),
    letter("-s", edit, &opt_s, "as -c, but to lower case; wins over -c"),
    letter("-u", edit, &opt_u,
           "link and image references point into the page's directory;\n"
           "those to other sites (http:, //host) stay",
           4),
    edit_word("--flatten-offsite", &opt_flatten_offsite, &opt_u,
              "with -u: cut references to other sites down too (a mirror)"),
    letter("-w", OptionRole::run, &opt_w, "write the result back over each FILE"),
    letter("-r", OptionRole::run, &opt_r,
           "with -w: edit the pages in each FOLDER and the ones below"),
    word("--recursive", &opt_r, "the same as -r"),
    pattern("--include", &include_globs, "--include=GLOB",
            "with -r: edit the files named so (default *.htm, *.html)"),
    pattern("--exclude", &exclude_globs, "--exclude=GLOB",
            "with -r: leave out the files and folders named so"),
    word("--follow-links", &opt_follow_links, "with -r: follow symbolic links, not pass them over",
         true),
    number("--jobs", &opt_jobs, "--jobs=N",
           "with -w: edit N pages at once (default: 1, with -r one per\nprocessor)"),
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
    letter("-d:a", edit, &del_a, "remove link tags"),
    letter("-d:b", edit, &del_b, "remove bgcolor= attributes"),
    letter("-d:c", edit, &del_c, "remove comments"),
    letter("-d:f", edit, &del_f, "remove font tags"),
    letter("-d:h", edit, &del_h, "remove charset= settings, also inside quoted values"),
    letter("-d:i", edit, &del_i, "remove image tags"),
    letter("-d:l", edit, &del_l, "remove align= and valign= inside tables"),
    letter("-d:o", edit, &del_o, "remove bgsound tags"),
    letter("-d:s", edit, &del_s, "remove the size= of font tags"),
};

}  // namespace option_table

inline constexpr const auto& option_rows = option_table::rows;

// The rows of the options that the walk of a page reads (the edits and
// -i), in the table's order: the letters a fuzzer or a test turns on.
std::span<const OptionRow* const> walk_options();

// The row whose flag is flag, or nullptr.
constexpr const OptionRow* row_of(const int* flag) {
    for (const OptionRow& row : option_rows)
        if (row.flag == flag) return &row;
    return nullptr;
}

// Sets the flag of a letter's row as the command line would.
inline void set_option(const OptionRow& row) {
    *row.flag = row.value;
}

// Whether an option that edits the text was given.
bool edits_asked();

// Clears every option (for tests and the fuzzer; the program never clears
// one).
void reset_options();

}  // namespace tagpolish
