// A regular expression in the manner of an ECMAScript-style component:
// IgnoreCase, Multiline, Global and Pattern; Execute gives the matches in
// order of position, each with its Value, FirstIndex (UTF-16 units from 0)
// and SubMatches (in the order of their opening parentheses, "" for a group
// that took no part); Replace rewrites a subject. A rejected pattern makes
// Execute and Replace fail. Subjects are UTF-16 code units, matched unit by
// unit, so a lone surrogate is just another unit.
//
// The syntax is that of ECMAScript patterns, with these differences left:
// - IgnoreCase folds the ASCII letters only (not é/É, Greek, Cyrillic or
//   full-width letters).
// - \w, \d and \b are ASCII, as in ECMAScript; \s and \S also cover the
//   Unicode spaces, except that \S inside a class without \s counts them as
//   non-spaces (so [\S] matches U+3000).
// - Perl syntax that ECMAScript rejects is accepted: (?i) and other inline
//   options, atomic groups, possessive quantifiers, (?#...), recursion,
//   conditional groups, a quantifier on a lookaround, lookbehind and named
//   groups (but \k stays the letter k, as every letter escape ECMAScript
//   does not define).
// - A back-reference to a group captured in an earlier pass of a repeated
//   group keeps that capture (ECMAScript resets it each pass); \N for a group
//   number the pattern does not have is rejected, not read as an octal escape.
// - Work is bounded: a search that needs more than match_limit steps, or
//   more than 1 MiB of JIT stack (64 MiB of heap without the JIT), ends as if
//   no further match existed (see regexp.cpp for the measurement). Without
//   the JIT (a platform PCRE2 lacks it for) the step bound holds per start
//   position only.
//
// An expression and its results belong to one thread at a time.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrava::platform {

class RegExpMatches;

// One match; it lives as long as its collection.
class RegExpMatch {
 public:
  std::u16string_view value() const;
  int first_index() const;
  // SubMatches: the number of capture groups, and group `index` (0-based).
  int submatch_count() const;
  std::optional<std::u16string_view> submatch(int index) const;

 private:
  friend class RegExpMatches;
  RegExpMatch(const RegExpMatches& matches, int index) : matches_(&matches), index_(index) {}
  const RegExpMatches* matches_;
  int index_;
};

// What Execute returns; it keeps the subject alive.
class RegExpMatches {
 public:
  int count() const { return count_; }
  // Item: nullopt when the 0-based index is out of range.
  std::optional<RegExpMatch> item(int index) const;

 private:
  friend class RegExp;
  friend class RegExpMatch;
  std::u16string_view span(int match, int group) const;

  std::shared_ptr<const std::u16string> subject_;
  int groups_ = 0;
  int count_ = 0;
  std::vector<int> spans_;  // per match, for the whole match and each group: start, end (-1 unset)
};

// The accessors are read for every sub-match of a page, so they are defined
// here, where the caller's compiler sees them.

inline std::optional<RegExpMatch> RegExpMatches::item(int index) const {
  if (index < 0 || index >= count_)
    return std::nullopt;
  return RegExpMatch(*this, index);
}

inline std::u16string_view RegExpMatches::span(int match, int group) const {
  const std::size_t at = (static_cast<std::size_t>(match) * static_cast<std::size_t>(groups_ + 1) +
                          static_cast<std::size_t>(group)) *
                         2;
  const int from = spans_[at];
  const int to = spans_[at + 1];
  if (from < 0)
    return {};
  return std::u16string_view(*subject_).substr(static_cast<std::size_t>(from),
                                               static_cast<std::size_t>(to - from));
}

inline std::u16string_view RegExpMatch::value() const {
  return matches_->span(index_, 0);
}

inline int RegExpMatch::first_index() const {
  return matches_->spans_[static_cast<std::size_t>(index_) *
                          static_cast<std::size_t>(matches_->groups_ + 1) * 2];
}

inline int RegExpMatch::submatch_count() const {
  return matches_->groups_;
}

inline std::optional<std::u16string_view> RegExpMatch::submatch(int index) const {
  if (index < 0 || index >= matches_->groups_)
    return std::nullopt;
  return matches_->span(index_, index + 1);
}

class RegExp {
 public:
  // Steps one search may take; measured in regexp.cpp.
  static constexpr unsigned match_limit = 10'000'000;

  RegExp();
  ~RegExp();
  RegExp(const RegExp&) = delete;
  RegExp& operator=(const RegExp&) = delete;

  bool ignore_case() const { return ignore_case_; }
  void set_ignore_case(bool value);
  bool multiline() const { return multiline_; }
  void set_multiline(bool value);
  bool global() const { return global_; }
  void set_global(bool value) { global_ = value; }
  const std::u16string& pattern() const { return pattern_; }
  void set_pattern(std::u16string pattern);

  // nullptr when the pattern is rejected.
  std::shared_ptr<const RegExpMatches> execute(std::shared_ptr<const std::u16string> subject);
  // The subject with every match (the first only without Global) replaced;
  // the replacement may use $$, $&, $`, $' and $1 to $99. nullopt when the
  // pattern is rejected.
  std::optional<std::u16string> replace(std::u16string_view subject,
                                        std::u16string_view replacement);

 private:
  struct Compiled;
  const Compiled* compiled();
  // The pattern without its quick lazy runs, compiled on first need; nullptr
  // when compiled() has none.
  const Compiled* plain_form();
  template <class OnMatch>
  bool each_match(std::u16string_view subject, OnMatch&& on_match);

  bool ignore_case_ = false;
  bool multiline_ = false;
  bool global_ = false;
  std::u16string pattern_;
  std::unique_ptr<Compiled> compiled_;
  std::u16string plain_pattern_;  // translated, when it differs from the quick form
  std::unique_ptr<Compiled> plain_;
  bool stale_ = true;
};

}  // namespace kestrava::platform
