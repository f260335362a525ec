#include "engine/utf8_page.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <utility>
#include <vector>

#include "engine/links.h"
#include "engine/tag_reader.h"
#include "lib/sjis_utf8.h"
#include "lib/sjstr.h"

namespace tagpolish {
namespace {

constexpr std::size_t npos = std::string_view::npos;

// The first bytes of a page in which a browser looks for its declaration.
constexpr std::size_t prescan_size = 1024;

// What a form that posts to another site is given, before its ">".
constexpr std::string_view form_mark = " accept-charset=\"Shift_JIS\"";

constexpr std::array<std::string_view, 11> shift_jis_names = {
    "shift_jis", "shift-jis", "shiftjis", "sjis",       "x-sjis",      "windows-31j",
    "cp932",     "ms932",     "ms_kanji", "csshiftjis", "cswindows31j"};

// The elements whose text is not markup: a "<meta" there is text.
constexpr std::array<std::string_view, 8> raw_elements = {
    "script", "style", "xmp", "iframe", "noembed", "noframes", "title", "textarea"};

bool same_caseless(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (ascii_lower(static_cast<unsigned char>(a[i])) !=
            ascii_lower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool caseless_at(std::string_view s, std::size_t at, std::string_view word) {
    return at <= s.size() && s.size() - at >= word.size() &&
           same_caseless(s.substr(at, word.size()), word);
}

std::size_t find_caseless(std::string_view s, std::string_view word, std::size_t from) {
    for (std::size_t i = from; i + word.size() <= s.size(); ++i)
        if (caseless_at(s, i, word)) return i;
    return npos;
}

bool is_blank(char c) {
    return is_tag_blank(static_cast<unsigned char>(c));
}

std::size_t skip_blanks(std::string_view s, std::size_t i) {
    while (i < s.size() && is_blank(s[i])) ++i;
    return i;
}

// The part of a value without the blanks around it, as its offset in value
// and its size.
std::pair<std::size_t, std::size_t> trim(std::string_view value) {
    const std::size_t first = skip_blanks(value, 0);
    std::size_t last = value.size();
    while (last > first && is_blank(value[last - 1])) --last;
    return {first, last - first};
}

// One attribute of a tag, its value where it stands in the text.
struct Attr {
    std::string_view name, value;
    std::size_t value_at = 0;
};

// A tag as a browser splits it (engine/tag_reader.h).
struct Tag {
    std::string_view name;
    std::vector<Attr> attrs;
    std::size_t close = 0;  // its ">", or the size of the text when it has none

    // The first attribute of that name, as a browser keeps it.
    const Attr* attr(std::string_view wanted) const {
        for (const Attr& a : attrs)
            if (same_caseless(a.name, wanted)) return &a;
        return nullptr;
    }
};

// Reads the tag whose name begins at from.
Tag read_tag(std::string_view s, std::size_t from) {
    Tag tag;
    TagRead r = TagRead::name;
    Attr attr;
    std::size_t begun = from;  // where the current name or value began
    std::size_t i = from;
    auto end_part = [&](TagRead was, std::size_t at) {
        const std::string_view part = s.substr(begun, at - begun);
        if (was == TagRead::name) tag.name = part;
        if (was == TagRead::attr_name) attr.name = part;
        if (was == TagRead::value || is_quoted(was)) attr.value = part, attr.value_at = begun;
    };
    for (; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c == '>' && !is_quoted(r)) break;
        const TagRead next = tag_reads.next[index_of(r)][c];
        if (next == r) continue;
        end_part(r, i);
        const bool attr_done = r == TagRead::value || is_quoted(r) ||
                               (next == TagRead::attr_name && r == TagRead::after_attr) ||
                               (r == TagRead::attr_name && next == TagRead::before_attr);
        if (attr_done) tag.attrs.push_back(std::exchange(attr, {}));
        begun = is_quoted(next) ? i + 1 : i;
        r = next;
    }
    end_part(r, i);
    if (r != TagRead::name && r != TagRead::before_attr) tag.attrs.push_back(attr);
    tag.close = i;
    return tag;
}

// Where the tag whose name begins at from closes, its ">" (or the size of
// the text), for a tag whose attributes do not count.
std::size_t tag_close(std::string_view s, std::size_t from) {
    TagRead r = TagRead::name;
    for (std::size_t i = from; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c == '>' && !is_quoted(r)) return i;
        r = tag_reads.next[index_of(r)][c];
    }
    return s.size();
}

// The name of the tag whose name begins at from.
std::string_view tag_name(std::string_view s, std::size_t from) {
    std::size_t end = from;
    while (end < s.size() && !is_blank(s[end]) && s[end] != '/' && s[end] != '>') ++end;
    return s.substr(from, end - from);
}

// A tag's name in small letters, for names of up to ten letters (no
// element this stage knows has more).
struct SmallName {
    std::array<char, 10> letters{};
    std::size_t size = 0;

    explicit SmallName(std::string_view name) {
        if (name.size() > letters.size()) return;
        size = name.size();
        for (std::size_t i = 0; i < size; ++i)
            letters[i] = static_cast<char>(ascii_lower(static_cast<unsigned char>(name[i])));
    }
    std::string_view view() const { return {letters.data(), size}; }
};

// A change to the text besides its characters: size bytes at `at` become
// text.
struct Change {
    std::size_t at, size;
    std::string_view text;
};

// Finds what a page's conversion changes besides its characters.
class PageScan {
  public:
    PageScan(std::string_view text, const Utf8Settings& how, EditCounts& counts)
        : s_(text), how_(how), counts_(counts) {}

    void scan_page();
    void scan_style_sheet();
    std::vector<Change> changes;  // in the order of the text

  private:
    void xml_declaration();
    std::size_t markup(std::size_t lt);
    std::size_t start_tag(std::size_t lt);
    std::size_t after_raw(std::string_view name, std::size_t from) const;
    void meta(const Tag& tag);
    void form(const Tag& tag);
    void script(const Tag& tag);
    void make_utf8(std::size_t at, std::string_view value);
    void declare();
    bool fits(std::size_t at) const;

    std::string_view s_;
    const Utf8Settings& how_;
    EditCounts& counts_;
    bool declared_ = false;       // a meta tag declares a charset
    std::size_t prolog_end_ = 0;  // after the XML declaration and the doctype
    std::size_t head_end_ = npos, html_end_ = npos, first_element_ = npos;
};

// A Shift_JIS name at `at` becomes UTF-8, in small letters where it had
// no capital.
void PageScan::make_utf8(std::size_t at, std::string_view value) {
    const auto [first, size] = trim(value);
    if (!names_shift_jis(value)) return;
    const std::string_view name = value.substr(first, size);
    const bool small =
        std::none_of(name.begin(), name.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
    changes.push_back({at + first, size, small ? "utf-8" : "UTF-8"});
    count_edit(counts_, Edit::utf8_declarations);
}

// "<?xml version="1.0" encoding="Shift_JIS"?>", which only the first bytes
// of a page can be.
void PageScan::xml_declaration() {
    if (!s_.starts_with("<?xml") || s_.size() < 6 || !(is_blank(s_[5]) || s_[5] == '?')) return;
    const std::size_t end = s_.find("?>");
    if (end == npos) return;
    prolog_end_ = end + 2;
    const std::string_view decl = s_.substr(0, end);
    const std::size_t at = decl.find("encoding");
    if (at == npos) return;
    std::size_t i = skip_blanks(decl, at + 8);
    if (i >= decl.size() || decl[i] != '=') return;
    i = skip_blanks(decl, i + 1);
    if (i >= decl.size() || (decl[i] != '"' && decl[i] != '\'')) return;
    const std::size_t close = decl.find(decl[i], i + 1);
    if (close == npos) return;
    make_utf8(i + 1, decl.substr(i + 1, close - i - 1));
}

void PageScan::scan_page() {
    xml_declaration();
    std::size_t i = prolog_end_;
    while (i < s_.size()) {
        const void* lt = std::memchr(s_.data() + i, '<', s_.size() - i);
        if (lt == nullptr) break;
        i = markup(static_cast<std::size_t>(static_cast<const char*>(lt) - s_.data()));
    }
    declare();
}

// Reads the markup that begins with the "<" at lt; answers where the text
// after it begins (the size of the text where nothing after it counts).
std::size_t PageScan::markup(std::size_t lt) {
    if (s_.compare(lt, 4, "<!--") == 0) {
        std::size_t i = lt + 4;
        if (i < s_.size() && s_[i] == '>') return i + 1;
        if (s_.compare(i, 2, "->") == 0) return i + 2;
        for (i = s_.find("--", i); i != npos; i = s_.find("--", i + 1)) {
            if (s_.compare(i + 2, 1, ">") == 0) return i + 3;
            if (s_.compare(i + 2, 2, "!>") == 0) return i + 4;
        }
        return s_.size();
    }
    const char next = lt + 1 < s_.size() ? s_[lt + 1] : '\0';
    if (next == '!' || next == '?') {
        const std::size_t gt = s_.find('>', lt);
        if (gt == npos) return s_.size();
        if (caseless_at(s_, lt + 2, "doctype")) prolog_end_ = std::max(prolog_end_, gt + 1);
        return gt + 1;
    }
    if (next == '/') return std::min(tag_close(s_, lt + 2) + 1, s_.size());
    if (!std::isalpha(static_cast<unsigned char>(next))) return lt + 1;
    return start_tag(lt);
}

std::size_t PageScan::start_tag(std::size_t lt) {
    const SmallName small(tag_name(s_, lt + 1));
    const std::string_view name = small.view();
    const bool attributes_count = name == "meta" || name == "form" || name == "script";
    Tag tag;
    if (attributes_count)
        tag = read_tag(s_, lt + 1);
    else
        tag.close = tag_close(s_, lt + 1);
    if (tag.close == s_.size()) return s_.size();
    const std::size_t end = tag.close + 1;
    if (first_element_ == npos) first_element_ = lt;
    if (name == "html" && html_end_ == npos) html_end_ = end;
    if (name == "head" && head_end_ == npos) head_end_ = end;
    if (name == "meta") meta(tag);
    if (name == "form") form(tag);
    if (name == "script") script(tag);
    if (name == "plaintext") return s_.size();
    // Most tags are not raw, and no raw element begins as "a", "b", "d" ...
    if (name.empty() || std::string_view("sxint").find(name[0]) == std::string_view::npos)
        return end;
    for (std::string_view raw : raw_elements)
        if (name == raw) return after_raw(raw, end);
    return end;
}

// A script whose charset is Shift_JIS is read so after the conversion too,
// but where its file is converted with the page.
void PageScan::script(const Tag& tag) {
    const Attr* charset = tag.attr("charset");
    if (charset == nullptr || !names_shift_jis(charset->value)) return;
    const Attr* src = tag.attr("src");
    if (src != nullptr && how_.script_converted && how_.script_converted(src->value))
        make_utf8(charset->value_at, charset->value);
    else
        count_edit(counts_, Edit::scripts_kept);
}

// Where the end tag of the raw element name begins, from from on.
std::size_t PageScan::after_raw(std::string_view name, std::size_t from) const {
    for (std::size_t i = s_.find("</", from); i != npos; i = s_.find("</", i + 2)) {
        if (!caseless_at(s_, i + 2, name)) continue;
        const std::size_t after = i + 2 + name.size();
        if (after == s_.size() || is_blank(s_[after]) || s_[after] == '/' || s_[after] == '>')
            return i;
    }
    return s_.size();
}

// <meta charset=...> and <meta http-equiv="Content-Type" content="...;
// charset=...">, in any order and letter case.
void PageScan::meta(const Tag& tag) {
    if (const Attr* charset = tag.attr("charset")) {
        declared_ = true;
        make_utf8(charset->value_at, charset->value);
        return;
    }
    const Attr* equiv = tag.attr("http-equiv");
    const Attr* content = tag.attr("content");
    if (equiv == nullptr || content == nullptr) return;
    const auto [first, size] = trim(equiv->value);
    if (!same_caseless(equiv->value.substr(first, size), "content-type")) return;
    const std::string_view v = content->value;
    for (std::size_t at = find_caseless(v, "charset", 0); at != npos;
         at = find_caseless(v, "charset", at + 1)) {
        std::size_t i = skip_blanks(v, at + 7);
        if (i >= v.size() || v[i] != '=') continue;
        i = skip_blanks(v, i + 1);
        if (i >= v.size()) return;
        std::size_t end;
        if (v[i] == '"' || v[i] == '\'') {
            end = v.find(v[i], i + 1);
            if (end == npos) return;
            ++i;
        } else {
            end = i;
            while (end < v.size() && !is_blank(v[end]) && v[end] != ';') ++end;
        }
        declared_ = true;
        make_utf8(content->value_at + i, v.substr(i, end - i));
        return;
    }
}

// A form that posts to another site would send what is typed in it as
// UTF-8 from now on; that site may not take it.
void PageScan::form(const Tag& tag) {
    const Attr* action = tag.attr("action");
    if (action == nullptr || tag.attr("accept-charset") != nullptr) return;
    const auto [first, size] = trim(action->value);
    if (!leads_off_site(action->value.substr(first, size))) return;
    changes.push_back({tag.close, 0, form_mark});
    count_edit(counts_, Edit::forms_marked);
}

// Whether the declaration put in at `at` ends within the bytes a browser
// looks at first.
bool PageScan::fits(std::size_t at) const {
    std::size_t bytes = utf8_meta.size();
    for (const Change& c : changes)
        if (c.at < at) bytes += c.text.size() - std::min(c.text.size(), c.size);
    for (std::size_t i = 0; i < at && bytes <= prescan_size;) {
        const SjisChar ch = decode_sjis(s_.substr(0, at), i);
        bytes += ch.code == invalid_char ? 3 : utf8_size(ch.code);
        i += ch.size;
    }
    return bytes <= prescan_size;
}

// A page that declares no charset gets <meta charset="UTF-8"> after its
// <head>, else after its <html>, else before its first element; never
// before its doctype, and where a browser looks for it. Text without any
// element is not a page: it gets nothing.
void PageScan::declare() {
    if (declared_ || first_element_ == npos) return;
    // After <html> or the doctype, past the blanks that follow: a browser
    // drops those there, and would keep them in the head the meta tag opens.
    std::size_t at = skip_blanks(s_, prolog_end_);
    const std::size_t in_html = html_end_ == npos ? npos : skip_blanks(s_, html_end_);
    for (std::size_t place : {head_end_, in_html, first_element_}) {
        if (place != npos && place >= prolog_end_ && fits(place)) {
            at = place;
            break;
        }
    }
    const auto after = std::upper_bound(changes.begin(), changes.end(), at,
                                        [](std::size_t a, const Change& c) { return a < c.at; });
    changes.insert(after, {at, 0, utf8_meta});
    count_edit(counts_, Edit::utf8_declared);
}

// @charset "Shift_JIS"; counts only as the very first bytes of a sheet.
void PageScan::scan_style_sheet() {
    constexpr std::string_view rule = "@charset \"";
    if (!s_.starts_with(rule)) return;
    const std::size_t close = s_.find('"', rule.size());
    if (close == npos) return;
    make_utf8(rule.size(), s_.substr(rule.size(), close - rule.size()));
}

// The line and byte (in the line) of offset at.
Utf8Failure place_of(std::string_view s, std::size_t at) {
    Utf8Failure place{1, 1};
    std::size_t line_start = 0;
    for (std::size_t i = 0; i < at; ++i) {
        if (s[i] == '\n' || (s[i] == '\r' && (i + 1 == s.size() || s[i + 1] != '\n'))) {
            ++place.line;
            line_start = i + 1;
        }
    }
    place.byte = at - line_start + 1;
    return place;
}

// The characters of a text written out in UTF-8, a run at a time.
struct Utf8Run {
    std::string_view text;
    char* to;
    bool replace;
    std::size_t i = 0;
    std::size_t bad = npos;  // where a sequence made no character
    std::uint64_t chars = 0, replaced = 0;

    // Copies the ASCII bytes from i on, eight at a time while it can, up
    // to end or the first byte beyond ASCII.
    void copy_ascii(std::size_t end) {
        constexpr std::uint64_t high_bits = 0x8080808080808080;
        for (std::uint64_t eight; end - i >= 8; i += 8, to += 8) {
            std::memcpy(&eight, text.data() + i, 8);
            if ((eight & high_bits) != 0) break;
            std::memcpy(to, &eight, 8);
        }
        while (i < end && static_cast<unsigned char>(text[i]) < 0x80) *to++ = text[i++];
    }

    // Converts the text from i up to end; false where a sequence makes no
    // character and is not to be replaced.
    bool up_to(std::size_t end) {
        const Utf8Forms& forms = utf8_forms();
        const auto* p = reinterpret_cast<const unsigned char*>(text.data());
        while (i < end) {
            const unsigned char b = p[i];
            if (b < 0x80) {
                copy_ascii(end);
                continue;
            }
            const bool pair = forms.row[b] != 0 && i + 1 < end;
            const std::uint32_t form =
                pair ? forms.pair[forms.row[b] - 1][p[i + 1]] : forms.single[b];
            if (form != 0) {
                to = put_form(to, form);
                i += pair ? 2 : 1;
                ++chars;
                continue;
            }
            if (!replace) {
                bad = i;
                return false;
            }
            to = put_form(to, utf8_form(replacement_char));
            i += decode_sjis(text.substr(0, end), i).size;
            ++replaced;
        }
        return true;
    }
};

}  // namespace

bool names_shift_jis(std::string_view name) {
    const auto [first, size] = trim(name);
    name = name.substr(first, size);
    return std::any_of(shift_jis_names.begin(), shift_jis_names.end(),
                       [name](std::string_view known) { return same_caseless(name, known); });
}

bool convert_to_utf8(std::string_view text, const Utf8Settings& how, Utf8Text& out,
                     EditCounts& counts, Utf8Failure& failure) {
    PageScan scan(text, how, counts);
    if (how.kind == Utf8Kind::page) scan.scan_page();
    if (how.kind == Utf8Kind::style_sheet) scan.scan_style_sheet();
    std::size_t added = 0;
    for (const Change& c : scan.changes) added += c.text.size();
    // No character takes more than three times its bytes in UTF-8, and a
    // form is written three bytes at a time.
    out.bytes = std::make_unique_for_overwrite<char[]>(text.size() * 3 + added + 3);
    Utf8Run run{text, out.bytes.get(), how.replace};
    for (const Change& c : scan.changes) {
        if (!run.up_to(c.at)) break;
        run.to = std::copy(c.text.begin(), c.text.end(), run.to);
        run.i += c.size;
    }
    const bool whole = run.bad == npos && run.up_to(text.size());
    count_edit(counts, Edit::utf8_characters, run.chars);
    count_edit(counts, Edit::utf8_replaced, run.replaced);
    if (!whole) {
        failure = place_of(text, run.bad);
        return false;
    }
    if (how.end_mark) *run.to++ = '\x1A';
    out.size = static_cast<std::size_t>(run.to - out.bytes.get());
    return true;
}

}  // namespace tagpolish
