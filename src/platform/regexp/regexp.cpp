#include "platform/regexp/regexp.h"

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

#include <map>
#include <mutex>
#include <utility>

namespace kestrava::platform {
namespace {

// ECMAScript line terminators and the spaces \s covers beyond PCRE2's ASCII
// ones, written in pattern syntax.
constexpr std::u16string_view not_line_break = u"[^\\n\\r\\u2028\\u2029]";
constexpr std::u16string_view unicode_spaces =
    u"\\u00A0\\u1680\\u2000-\\u200A\\u2028\\u2029\\u202F\\u205F\\u3000\\uFEFF";

bool is_ascii_letter(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

// Whether the class starting at `begin` (after its "[" and "^") names both \s
// and \S; [\s\S] then already means every unit and stays as PCRE2 has it fast.
bool class_has_both_spaces(std::u16string_view p, std::size_t begin) {
  bool s = false;
  bool S = false;
  for (std::size_t i = begin; i < p.size() && p[i] != u']'; ++i) {
    if (p[i] != u'\\' || i + 1 == p.size())
      continue;
    ++i;
    s = s || p[i] == u's';
    S = S || p[i] == u'S';
  }
  return s && S;
}

// An escape as ECMAScript reads it. `at` is the unit after the backslash and
// is advanced past what was used.
void translate_escape(std::u16string_view p, std::size_t& at, bool in_class, bool both_spaces,
                      std::u16string& out) {
  const char16_t e = p[at];
  switch (e) {
    case u'd':
    case u'D':
    case u'w':
    case u'W':
    case u't':
    case u'n':
    case u'f':
    case u'r':
    case u'x':
    case u'u':
    case u'b':
      out += u'\\';
      out += e;
      return;
    case u'B':
      out += in_class ? u"B" : u"\\B";
      return;
    case u'v':
      out += u"\\x0B";
      return;
    case u's':
      if (in_class) {
        out += u"\\s";
        if (!both_spaces)
          out += unicode_spaces;
      } else {
        out += u"[\\s";
        out += unicode_spaces;
        out += u']';
      }
      return;
    case u'S':
      if (in_class) {
        out += u"\\S";
      } else {
        out += u"[^\\s";
        out += unicode_spaces;
        out += u']';
      }
      return;
    case u'c':
      if (at + 1 < p.size() && is_ascii_letter(p[at + 1])) {
        out += u"\\c";
        out += p[++at];
      } else {
        out += u"\\\\c";  // no control letter: a backslash and a "c"
      }
      return;
    default:
      if (e >= u'0' && e <= u'9') {
        out += u'\\';
        out += e;
      } else if (is_ascii_letter(e)) {
        out += e;  // \A, \z, \Q, \K, \p ... are plain letters in ECMAScript
      } else {
        out += u'\\';
        out += e;
      }
  }
}

// The pattern in PCRE2 syntax with ECMAScript's meaning for ".", "^", "$",
// the escapes and "[" inside a class.
std::u16string translate_pattern(std::u16string_view p, bool multiline) {
  std::u16string out;
  out.reserve(p.size() + 32);
  bool in_class = false;
  bool both_spaces = false;
  for (std::size_t i = 0; i < p.size(); ++i) {
    const char16_t c = p[i];
    if (c == u'\\') {
      if (i + 1 == p.size()) {
        out += c;  // rejected by PCRE2, as by the component
        break;
      }
      ++i;
      translate_escape(p, i, in_class, both_spaces, out);
      continue;
    }
    if (in_class) {
      if (c == u']')
        in_class = false;
      out += c == u'[' ? std::u16string_view(u"\\[") : std::u16string_view(&c, 1);
      continue;
    }
    switch (c) {
      case u'[':
        out += c;
        if (i + 1 < p.size() && p[i + 1] == u'^')
          out += p[++i];
        if (i + 1 < p.size() && p[i + 1] == u']') {
          out += p[++i];  // [] matches nothing and [^] every unit
        } else {
          in_class = true;
          both_spaces = class_has_both_spaces(p, i + 1);
        }
        break;
      case u'.':
        out += not_line_break;
        break;
      case u'^':
      case u'$':
        // Without Multiline PCRE2's own "^" and "$" (DOLLAR_ENDONLY) are
        // ECMAScript's; with it, a line break is any ECMAScript one.
        if (multiline) {
          out += c == u'^' ? u"(?<!" : u"(?!";
          out += not_line_break;
          out += u')';
        } else {
          out += c;
        }
        break;
      default:
        out += c;
    }
  }
  return out;
}

// Whether c, written bare in a PCRE2 pattern, is a literal with no other
// letter case, so that "[^c]" excludes exactly what "c" matches.
bool is_caseless_literal(char16_t c) {
  return c >= u' ' && c <= u'~' && !is_ascii_letter(c) &&
         std::u16string_view(u"\\^$.|?*+()[]{}").find(c) == std::u16string_view::npos;
}

// A lazy run of any units, "[\s\S]*?", that a literal c must follow tries
// every end in turn, and all but those at a c fail at once. Written as
// "(?:[^c]++|c)*?" it tries the same ends in the same order, stepping over
// each run without c at one go, and captures the same text. The literal may
// follow at once or after the ")" of a group holding only the run; a literal
// that a quantifier makes optional does not count.
std::u16string with_quick_lazy_runs(std::u16string_view p) {
  constexpr std::u16string_view run = u"[\\s\\S]*?";
  std::u16string out;
  out.reserve(p.size() + 32);
  bool in_class = false;
  bool group_opened = false;  // the unit before this one opens a plain group
  for (std::size_t i = 0; i < p.size(); ++i) {
    const char16_t c = p[i];
    if (c == u'\\') {
      out += p.substr(i, 2);
      ++i;
      group_opened = false;
      continue;
    }
    if (in_class) {
      in_class = c != u']';
      out += c;
      continue;
    }
    if (p.substr(i, run.size()) == run) {
      std::size_t next = i + run.size();
      if (group_opened && next < p.size() && p[next] == u')')
        ++next;
      const bool literal_follows =
          next < p.size() && is_caseless_literal(p[next]) &&
          (next + 1 == p.size() ||
           std::u16string_view(u"*+?{").find(p[next + 1]) == std::u16string_view::npos);
      if (literal_follows) {
        const char16_t literal = p[next];
        out += u"(?:[^";
        out += literal;
        out += u"]++|";
        out += literal;
        out += u")*?";
        i += run.size() - 1;
        group_opened = false;
        continue;
      }
    }
    group_opened = false;
    if (c == u'[') {
      out += c;
      if (i + 1 < p.size() && p[i + 1] == u'^')
        out += p[++i];
      if (i + 1 < p.size() && p[i + 1] == u']')
        out += p[++i];  // "[]" and "[^]" end at once
      else
        in_class = true;
      continue;
    }
    group_opened = c == u'(' && !(i + 1 < p.size() && (p[i + 1] == u'?' || p[i + 1] == u'*'));
    out += c;
  }
  return out;
}

// Code that PCRE2 has compiled (and the JIT, where it can) is only read by
// matching, on any number of threads at once. The program runs the same few
// patterns for every search, so each is compiled once for the process.
struct SharedCode {
  std::shared_ptr<pcre2_code> code;
  bool jit = false;
};

SharedCode compile_code(const std::u16string& pattern, bool ignore_case) {
  pcre2_compile_context* compile_context = pcre2_compile_context_create(nullptr);
  if (compile_context == nullptr)
    return {};
  pcre2_set_newline(compile_context, PCRE2_NEWLINE_LF);
  std::uint32_t options = PCRE2_ALT_BSUX | PCRE2_ALLOW_EMPTY_CLASS | PCRE2_MATCH_UNSET_BACKREF |
                          PCRE2_DOLLAR_ENDONLY | PCRE2_NEVER_UTF | PCRE2_NEVER_UCP;
  if (ignore_case)
    options |= PCRE2_CASELESS;
  int error = 0;
  PCRE2_SIZE error_offset = 0;
  pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                                   options, &error, &error_offset, compile_context);
  pcre2_compile_context_free(compile_context);
  if (code == nullptr)
    return {};
  SharedCode shared;
  // The interpreter runs where the JIT is not available.
  shared.jit = pcre2_jit_compile(code, PCRE2_JIT_COMPLETE) == 0;
  shared.code = std::shared_ptr<pcre2_code>(code, pcre2_code_free);
  return shared;
}

SharedCode shared_code(const std::u16string& pattern, bool ignore_case) {
  // Bounded, for a program that made patterns up as it went: past the bound
  // the cache starts again (objects keep the code they hold).
  constexpr std::size_t most_kept = 64;
  // Never freed: detached workers may still be matching when the process ends.
  static auto* mutex = new std::mutex;
  static auto* kept = new std::map<std::pair<std::u16string, bool>, SharedCode>;
  auto key = std::make_pair(pattern, ignore_case);
  {
    std::lock_guard lock(*mutex);
    if (const auto found = kept->find(key); found != kept->end())
      return found->second;
  }
  SharedCode made = compile_code(pattern, ignore_case);
  if (made.code) {
    std::lock_guard lock(*mutex);
    if (kept->size() >= most_kept)
      kept->clear();
    kept->emplace(std::move(key), made);
  }
  return made;
}

}  // namespace

// The bound on work, measured with the JIT on a 2-core x86-64: the result
// pattern over 1 MiB of bare entries that lack only their closing "</li>"
// runs about 6 ns a step and ends at 10^7 steps after 58 ms (10^8: 0.52 s,
// 10^9: 4.3 s and still not done). Real entries need few steps: a page of
// 1000 entries matches whole from a limit of 60, sixteen entries with casts
// of 2000 lines each from 25 000, one entry whose cast is 64 KiB of closing
// tags from 54 000. 10^7 leaves a margin of about 200 over the last. The JIT
// counts the steps of one search from its start offset to the match, and a
// successful search of the result pattern is linear, so a page costs at most
// one limit beyond its real matches. (Measured on the plain form of the lazy
// runs; the quick form takes fewer steps for the same ends, and a search it
// cannot finish within its stack is made again in the plain form under the
// same limit.)
struct RegExp::Compiled {
  std::shared_ptr<pcre2_code> code;
  pcre2_match_data* match_data = nullptr;
  pcre2_match_context* context = nullptr;
  pcre2_jit_stack* jit_stack = nullptr;
  int groups = 0;
  bool jit = false;

  Compiled() = default;
  Compiled(const Compiled&) = delete;
  Compiled& operator=(const Compiled&) = delete;
  ~Compiled() {
    pcre2_jit_stack_free(jit_stack);
    pcre2_match_context_free(context);
    pcre2_match_data_free(match_data);
  }

  // nullptr when PCRE2 rejects the pattern (already in its syntax).
  static std::unique_ptr<Compiled> make(const std::u16string& pattern, bool ignore_case);

  int match(PCRE2_SPTR units, PCRE2_SIZE length, PCRE2_SIZE start) const {
    return jit ? pcre2_jit_match(code.get(), units, length, start, 0, match_data, context)
               : pcre2_match(code.get(), units, length, start, 0, match_data, context);
  }
};

std::unique_ptr<RegExp::Compiled> RegExp::Compiled::make(const std::u16string& pattern,
                                                         bool ignore_case) {
  SharedCode shared = shared_code(pattern, ignore_case);
  if (!shared.code)
    return nullptr;
  auto compiled = std::make_unique<Compiled>();
  compiled->code = std::move(shared.code);
  compiled->jit = shared.jit;
  std::uint32_t groups = 0;
  pcre2_pattern_info(compiled->code.get(), PCRE2_INFO_CAPTURECOUNT, &groups);
  compiled->groups = static_cast<int>(groups);
  compiled->match_data = pcre2_match_data_create_from_pattern(compiled->code.get(), nullptr);
  compiled->context = pcre2_match_context_create(nullptr);
  compiled->jit_stack = pcre2_jit_stack_create(32 * 1024, 1024 * 1024, nullptr);
  if (compiled->match_data == nullptr || compiled->context == nullptr)
    return nullptr;
  pcre2_set_match_limit(compiled->context, match_limit);
  pcre2_set_heap_limit(compiled->context, 64 * 1024);  // KiB, for the interpreter
  if (compiled->jit_stack != nullptr) {
    pcre2_jit_stack_assign(compiled->context, nullptr, compiled->jit_stack);
  }
  return compiled;
}

RegExp::RegExp() = default;
RegExp::~RegExp() = default;

void RegExp::set_ignore_case(bool value) {
  stale_ = stale_ || value != ignore_case_;
  ignore_case_ = value;
}

void RegExp::set_multiline(bool value) {
  stale_ = stale_ || value != multiline_;
  multiline_ = value;
}

void RegExp::set_pattern(std::u16string pattern) {
  pattern_ = std::move(pattern);
  stale_ = true;
}

const RegExp::Compiled* RegExp::compiled() {
  if (!stale_)
    return compiled_.get();
  stale_ = false;
  plain_.reset();
  std::u16string plain = translate_pattern(pattern_, multiline_);
  std::u16string quick = with_quick_lazy_runs(plain);
  plain_pattern_ = quick == plain ? std::u16string() : std::move(plain);
  compiled_ = Compiled::make(quick, ignore_case_);
  return compiled_.get();
}

const RegExp::Compiled* RegExp::plain_form() {
  if (!plain_ && !plain_pattern_.empty())
    plain_ = Compiled::make(plain_pattern_, ignore_case_);
  return plain_.get();
}

// Calls on_match(ovector) for each match in order; false when the pattern is
// rejected. After an empty match the next search starts one unit further, as
// ECMAScript's lastIndex does. Hitting a limit ends the search quietly.
template <class OnMatch>
bool RegExp::each_match(std::u16string_view subject, OnMatch&& on_match) {
  const Compiled* c = compiled();
  if (c == nullptr)
    return false;
  const auto* units = reinterpret_cast<PCRE2_SPTR>(subject.data());
  const PCRE2_SIZE length = subject.size();
  PCRE2_SIZE start = 0;
  while (start <= length) {
    const Compiled* used = c;
    int rc = c->match(units, length, start);
    // A quick lazy run needs stack for every stretch it steps over, the
    // plain form none: a search that runs out of it is made again plainly.
    if (rc == PCRE2_ERROR_JIT_STACKLIMIT || rc == PCRE2_ERROR_HEAPLIMIT) {
      if (const Compiled* plain = plain_form()) {
        used = plain;
        rc = plain->match(units, length, start);
      }
    }
    if (rc <= 0)
      break;
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(used->match_data);
    on_match(ovector);
    if (!global_)
      break;
    const PCRE2_SIZE end = ovector[1] > ovector[0] ? ovector[1] : ovector[0];
    start = end > ovector[0] ? end : end + 1;
  }
  return true;
}

std::shared_ptr<const RegExpMatches> RegExp::execute(
    std::shared_ptr<const std::u16string> subject) {
  if (subject == nullptr)
    subject = std::make_shared<const std::u16string>();
  const Compiled* c = compiled();
  if (c == nullptr)
    return nullptr;
  auto matches = std::make_shared<RegExpMatches>();
  matches->groups_ = c->groups;
  const bool ran = each_match(*subject, [&](const PCRE2_SIZE* ovector) {
    const int pairs = matches->groups_ + 1;
    for (int k = 0; k < pairs; ++k) {
      const PCRE2_SIZE from = ovector[2 * k];
      const PCRE2_SIZE to = ovector[2 * k + 1];
      const bool set = from != PCRE2_UNSET && to != PCRE2_UNSET && from <= to;
      matches->spans_.push_back(set ? static_cast<int>(from) : -1);
      matches->spans_.push_back(set ? static_cast<int>(to) : -1);
    }
    ++matches->count_;
  });
  if (!ran)
    return nullptr;
  matches->subject_ = std::move(subject);
  return matches;
}

std::optional<std::u16string> RegExp::replace(std::u16string_view subject,
                                              std::u16string_view replacement) {
  std::u16string out;
  std::size_t copied = 0;
  const Compiled* c = compiled();
  if (c == nullptr)
    return std::nullopt;
  const int groups = c->groups;
  auto group = [&](const PCRE2_SIZE* ovector, int k) {
    const PCRE2_SIZE from = ovector[2 * k];
    const PCRE2_SIZE to = ovector[2 * k + 1];
    if (from == PCRE2_UNSET || to == PCRE2_UNSET || from > to)
      return std::u16string_view();
    return subject.substr(from, to - from);
  };
  each_match(subject, [&](const PCRE2_SIZE* ovector) {
    const std::size_t from = ovector[0];
    const std::size_t to = ovector[1] > from ? ovector[1] : from;
    out.append(subject.substr(copied, from - copied));
    for (std::size_t i = 0; i < replacement.size(); ++i) {
      const char16_t r = replacement[i];
      const char16_t next = i + 1 < replacement.size() ? replacement[i + 1] : u'\0';
      if (r != u'$' || next == u'\0') {
        out += r;
      } else if (next == u'$') {
        out += u'$';
        ++i;
      } else if (next == u'&') {
        out.append(subject.substr(from, to - from));
        ++i;
      } else if (next == u'`') {
        out.append(subject.substr(0, from));
        ++i;
      } else if (next == u'\'') {
        out.append(subject.substr(to));
        ++i;
      } else if (next >= u'0' && next <= u'9') {
        const int one = next - u'0';
        const char16_t third = i + 2 < replacement.size() ? replacement[i + 2] : u'\0';
        const int two = third >= u'0' && third <= u'9' ? one * 10 + (third - u'0') : 0;
        if (two >= 1 && two <= groups) {
          out.append(group(ovector, two));
          i += 2;
        } else if (one >= 1 && one <= groups) {
          out.append(group(ovector, one));
          i += 1;
        } else {
          out += r;
        }
      } else {
        out += r;
      }
    }
    copied = to;
  });
  out.append(subject.substr(copied));
  return out;
}

}  // namespace kestrava::platform
