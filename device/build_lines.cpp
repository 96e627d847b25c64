#include "device/build_lines.h"

#include "device/build_condition.h"

namespace zuv {

namespace {

// One form of a build line: where it starts ("#", a word at the line's
// start, or a ";" comment's words) and its words.
enum class Lead { kHash, kWord, kComment };

struct BuildLineForm {
  Lead lead;
  const char* words;  // compared word by word; a comment's without regard to case or blanks
  BuildFamily family;
  BuildRole role;
  ConditionForm form;
};

// Longer words before the shorter ones they start with ("#ifdef" before "#if").
constexpr BuildLineForm kForms[] = {
    {Lead::kHash, "ifdef", BuildFamily::kPreprocessor, BuildRole::kOpen, ConditionForm::kDefined},
    {Lead::kHash, "ifndef", BuildFamily::kPreprocessor, BuildRole::kOpen,
     ConditionForm::kNotDefined},
    {Lead::kHash, "if", BuildFamily::kPreprocessor, BuildRole::kOpen, ConditionForm::kPreprocessor},
    {Lead::kHash, "elif", BuildFamily::kPreprocessor, BuildRole::kTurnIf,
     ConditionForm::kPreprocessor},
    {Lead::kHash, "else", BuildFamily::kPreprocessor, BuildRole::kTurn, ConditionForm::kNone},
    {Lead::kHash, "endif", BuildFamily::kPreprocessor, BuildRole::kClose, ConditionForm::kNone},
    {Lead::kHash, "define", BuildFamily::kPreprocessor, BuildRole::kDefine, ConditionForm::kNone},
    {Lead::kHash, "undef", BuildFamily::kPreprocessor, BuildRole::kUndefine, ConditionForm::kNone},
    {Lead::kHash, "include", BuildFamily::kPreprocessor, BuildRole::kInclude, ConditionForm::kNone},
    {Lead::kWord, "IF", BuildFamily::kCe, BuildRole::kOpen, ConditionForm::kCe},
    {Lead::kWord, "ELSE", BuildFamily::kCe, BuildRole::kTurn, ConditionForm::kNone},
    {Lead::kWord, "ENDIF", BuildFamily::kCe, BuildRole::kClose, ConditionForm::kNone},
    {Lead::kComment, "@CESYSGEN IF", BuildFamily::kSysgen, BuildRole::kOpen,
     ConditionForm::kModule},
    {Lead::kComment, "@CESYSGEN ELSE", BuildFamily::kSysgen, BuildRole::kTurn,
     ConditionForm::kNone},
    {Lead::kComment, "@CESYSGEN ENDIF", BuildFamily::kSysgen, BuildRole::kClose,
     ConditionForm::kNone},
    {Lead::kComment, "HIVE BOOT SECTION", BuildFamily::kNone, BuildRole::kMark,
     ConditionForm::kNone},
    {Lead::kComment, "END HIVE BOOT SECTION", BuildFamily::kNone, BuildRole::kMark,
     ConditionForm::kNone},
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Capitals of ASCII letters only: what the C locale's toupper does, without
// a library call for each character.
char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

std::string_view SkipBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  return text;
}

// Matches `words` at the start of `text`, word by word, blanks between them
// any in number; the last word must end at a blank, at the end or, with
// `stopAtAny`, at any character that cannot go on a word. On a match `text`
// is left after the words.
bool TakeWords(std::string_view& text, std::string_view words, bool anyCase, bool stopAtAny) {
  std::string_view rest = text;
  while (!words.empty()) {
    const size_t space = words.find(' ');
    const std::string_view word = words.substr(0, space);
    if (rest.size() < word.size()) return false;
    for (size_t i = 0; i < word.size(); ++i) {
      char a = rest[i];
      char b = word[i];
      if (anyCase) {
        a = AsciiUpper(a);
        b = AsciiUpper(b);
      }
      if (a != b) return false;
    }
    rest.remove_prefix(word.size());
    const bool wordEnds =
        rest.empty() || IsBlank(rest.front()) || (stopAtAny && !IsBuildNameChar(rest.front()));
    if (!wordEnds) return false;
    if (space == std::string_view::npos) break;
    words.remove_prefix(space + 1);
    rest = SkipBlanks(rest);
  }
  text = rest;
  return true;
}

}  // namespace

BuildLine ClassifyBuildLine(std::string_view line) {
  if (line.empty()) return {};
  const char first = line.front();
  if (first != '#' && first != ';' && first != 'I' && first != 'E') return {};
  Lead lead = Lead::kWord;
  std::string_view rest = line;
  if (first == '#') {
    lead = Lead::kHash;
    rest = SkipBlanks(line.substr(1));
  } else if (first == ';') {
    lead = Lead::kComment;
    rest = SkipBlanks(line.substr(1));
    // Every comment form starts with "@", "HIVE" or "END": most comments
    // are told apart by their first character.
    const char word = rest.empty() ? '\0' : rest.front();
    if (word != '@' && word != 'H' && word != 'h' && word != 'E' && word != 'e') return {};
  }
  for (const BuildLineForm& form : kForms) {
    if (form.lead != lead) continue;
    std::string_view after = rest;
    if (TakeWords(after, form.words, lead == Lead::kComment, lead == Lead::kHash)) {
      return {form.family, form.role, form.form, SkipBlanks(after)};
    }
  }
  // Any other "#" line, and any "; @" line, is the build's too.
  if (lead == Lead::kHash || (lead == Lead::kComment && !rest.empty() && rest.front() == '@')) {
    return {BuildFamily::kNone, BuildRole::kMark, ConditionForm::kNone, rest};
  }
  return {};
}

}  // namespace zuv
