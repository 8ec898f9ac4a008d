// A regular expression run over one subject Text, handing out its matches
// and their sub-matches by 1-based number. Patterns use ECMAScript syntax
// (see platform/regexp/regexp.h). Texts cross to the expression as UTF-16
// read in the ANSI code page, which is that of Text.
//
// Nothing reports an error: a failure shows only as false, 0 or "". The
// object belongs to the thread that made it; its lifetime is its scope.
#pragma once

#include <memory>
#include <string>

#include "text/codepage.h"
#include "text/text.h"

namespace kestrava {

namespace platform {
class RegExp;
class RegExpMatches;
}  // namespace platform

class RegexObject {
 public:
  RegexObject();
  ~RegexObject();
  RegexObject(RegexObject&&) noexcept;
  RegexObject& operator=(RegexObject&&) noexcept;
  RegexObject(const RegexObject&) = delete;
  RegexObject& operator=(const RegexObject&) = delete;

  // Runs pattern over subject_text, replacing every earlier result. With
  // expand_quotes each "#引号" of the pattern stands for a double quote. True
  // when the pattern was accepted, also when nothing matched.
  bool create(const Text& pattern, const Text& subject_text, bool case_sensitive = false,
              bool multiline = true, bool global = true, bool expand_quotes = false);
  // The same over a subject already read, which the object then shares: a
  // page read straight from UTF-8 (TextUnits::from_utf8) is not read again.
  bool create(const Text& pattern, std::shared_ptr<const TextUnits> subject,
              bool case_sensitive = false, bool multiline = true, bool global = true,
              bool expand_quotes = false);

  int match_count() const;
  // Match n, from 1; "" when there is no such match. A supplied offset gets
  // the 0-based byte position of the text in the subject, found by searching
  // for it from the match's position counted in characters (so at or before
  // it); -2 when that search finds nothing.
  Text match_text(int n, int* offset = nullptr) const;
  // Sub-match k (from 1) of match n; "" for a group that took no part or a
  // number out of range. offset as for match_text.
  Text submatch_text(int n, int k, int* offset = nullptr) const;
  // The number of capture groups, read from the first match; 0 without one.
  int submatch_count() const;
  Text current_pattern() const;
  // The subject with the matches replaced ($&, $1 ... as in ECMAScript).
  Text replace(const Text& replacement) const;
  void no_operation() const {}

  // A new object sharing this one's expression and results.
  RegexObject copy() const;
  // Drops the expression, the results and the subject; the object is then as
  // new. The destructor does the same.
  void release();

 private:
  Text found_text(int n, int k, int* offset) const;
  const Text& subject_as_text() const;

  std::shared_ptr<platform::RegExp> regex_;
  std::shared_ptr<const platform::RegExpMatches> matches_;
  // The subject with its units. A search runs two patterns over one page,
  // and the second create reuses the first one's conversion.
  std::shared_ptr<const TextUnits> subject_;
  // The subject converted back, made when an offset is first asked for of a
  // subject whose units do not cut back into it.
  mutable std::shared_ptr<const Text> subject_text_;
};

}  // namespace kestrava
