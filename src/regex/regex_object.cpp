#include "regex/regex_object.h"

#include <cstring>
#include <optional>
#include <string_view>
#include <utility>

#include "platform/regexp/regexp.h"
#include "text/codepage.h"
#include "text/literal.h"

namespace kestrava {
namespace {

// Texts cross to the expression as UTF-16 read in the ANSI code page.
std::u16string to_units(const Text& text) {
  return text_to_units(text, code_page_ansi);
}

Text to_text(std::u16string_view units) {
  return units_to_text(units, code_page_ansi);
}

}  // namespace

RegexObject::RegexObject() = default;
RegexObject::~RegexObject() = default;
RegexObject::RegexObject(RegexObject&&) noexcept = default;
RegexObject& RegexObject::operator=(RegexObject&&) noexcept = default;

bool RegexObject::create(const Text& pattern, const Text& subject_text, bool case_sensitive,
                         bool multiline, bool global, bool expand_quotes) {
  std::shared_ptr<const TextUnits> subject = subject_;
  if (!subject || subject->source() != subject_text)
    subject = std::make_shared<const TextUnits>(subject_text);
  return create(pattern, std::move(subject), case_sensitive, multiline, global, expand_quotes);
}

bool RegexObject::create(const Text& pattern, std::shared_ptr<const TextUnits> subject,
                         bool case_sensitive, bool multiline, bool global, bool expand_quotes) {
  using namespace kestrava::literals;
  release();
  regex_ = std::make_shared<platform::RegExp>();
  regex_->set_ignore_case(!case_sensitive);
  regex_->set_multiline(multiline);
  regex_->set_global(global);
  const Text working =
      expand_quotes ? replace_text(pattern, "#引号"_gbk, "\"", 1, -1, true) : pattern;
  regex_->set_pattern(to_units(working));
  subject_ = subject ? std::move(subject) : std::make_shared<const TextUnits>();
  // The matches keep the units alive, and with them the whole subject.
  matches_ = regex_->execute(std::shared_ptr<const std::u16string>(subject_, &subject_->units()));
  return matches_ != nullptr;
}

int RegexObject::match_count() const {
  return matches_ ? matches_->count() : 0;
}

int RegexObject::submatch_count() const {
  if (!matches_)
    return 0;
  const auto first = matches_->item(0);
  return first ? first->submatch_count() : 0;
}

Text RegexObject::match_text(int n, int* offset) const {
  return found_text(n, 0, offset);
}

Text RegexObject::submatch_text(int n, int k, int* offset) const {
  // k of 0 or below names no sub-match; found_text reads k 0 as the match.
  if (k < 1) {
    if (offset != nullptr)
      found_text(n, -1, offset);
    return Text();
  }
  return found_text(n, k, offset);
}

// k 0 is the match itself, k from 1 a sub-match; k below 0 none.
Text RegexObject::found_text(int n, int k, int* offset) const {
  std::optional<platform::RegExpMatch> match;
  if (matches_ && n >= 1)
    match = matches_->item(n - 1);
  Text text;
  if (match && k >= 0) {
    const std::u16string_view found =
        k == 0 ? match->value() : match->submatch(k - 1).value_or(std::u16string_view());
    if (!found.empty()) {
      const auto from = static_cast<std::size_t>(found.data() - subject_->units().data());
      text = subject_->text_of(from, from + found.size());
    }
  }
  if (offset != nullptr) {
    // The match's position counts UTF-16 units, which are characters here,
    // while a Text counts bytes: searching from there finds the text at or
    // after it.
    const int first_index = match ? match->first_index() : 0;
    const bool ignore_case = regex_ && regex_->ignore_case();
    const int found = find_text(subject_as_text(), text, first_index, ignore_case);
    *offset = found - 1;
  }
  return text;
}

const Text& RegexObject::subject_as_text() const {
  if (subject_ && subject_->exact())
    return subject_->source();
  if (!subject_text_) {
    subject_text_ = std::make_shared<const Text>(subject_ ? to_text(subject_->units()) : Text());
  }
  return *subject_text_;
}

Text RegexObject::current_pattern() const {
  return regex_ ? to_text(regex_->pattern()) : Text();
}

Text RegexObject::replace(const Text& replacement) const {
  if (!regex_)
    return Text();
  const std::u16string_view subject =
      subject_ ? std::u16string_view(subject_->units()) : std::u16string_view();
  const auto replaced = regex_->replace(subject, to_units(replacement));
  return replaced ? to_text(*replaced) : Text();
}

RegexObject RegexObject::copy() const {
  RegexObject other;
  other.regex_ = regex_;
  other.matches_ = matches_;
  other.subject_ = subject_;
  other.subject_text_ = subject_text_;
  return other;
}

void RegexObject::release() {
  regex_.reset();
  matches_.reset();
  subject_.reset();
  subject_text_.reset();
}

}  // namespace kestrava
