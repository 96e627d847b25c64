#include "device/build_condition.h"

#include <algorithm>

namespace zuv {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

char UpperChar(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

std::string Upper(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = UpperChar(c);
  return upper;
}

// Equal but for ASCII case.
bool SameFolded(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (UpperChar(a[i]) != UpperChar(b[i])) return false;
  }
  return true;
}

}  // namespace

std::string AtomTable::KeyOf(const BuildAtom& atom) {
  // Made in one string: an atom is asked for at each condition read.
  std::string key;
  key.reserve(atom.name.size() + atom.value.size() + 2);
  key += static_cast<char>('0' + static_cast<int>(atom.kind));
  const bool fold = atom.kind != BuildAtom::Kind::kOpaque;
  for (char c : atom.name) key += fold ? UpperChar(c) : c;
  key += '\n';
  for (char c : atom.value) key += UpperChar(c);
  return key;
}

bool AtomTable::SameKey(const BuildAtom& a, const BuildAtom& b) {
  if (a.kind != b.kind || !SameFolded(a.value, b.value)) return false;
  return a.kind == BuildAtom::Kind::kOpaque ? a.name == b.name : SameFolded(a.name, b.name);
}

uint32_t AtomTable::Intern(const BuildAtom& atom) {
  // Looked up before it is added: most atoms asked for are known.
  std::string key = KeyOf(atom);
  const auto found = index_.find(key);
  if (found != index_.end()) return found->second;
  index_.emplace(std::move(key), static_cast<uint32_t>(atoms_.size()));
  atoms_.push_back(atom);
  uint32_t variable = kNoVariable;
  if (atom.kind == BuildAtom::Kind::kSet || atom.kind == BuildAtom::Kind::kEquals) {
    variable =
        variableIndex_.emplace(Upper(atom.name), static_cast<uint32_t>(variableIndex_.size()))
            .first->second;
    if (variable == variableAtoms_.size()) variableAtoms_.push_back(0);
    ++variableAtoms_[variable];
  }
  variables_.push_back(variable);
  return static_cast<uint32_t>(atoms_.size() - 1);
}

std::string LiteralWords(const BuildAtom& atom, bool truth) {
  switch (atom.kind) {
    case BuildAtom::Kind::kSet:
      return (truth ? "with " : "without ") + atom.name;
    case BuildAtom::Kind::kEquals:
      return truth ? "with " + atom.name + "=" + atom.value : atom.name + " not " + atom.value;
    case BuildAtom::Kind::kModule:
      return (truth ? "with module " : "without module ") + atom.name;
    case BuildAtom::Kind::kOpaque:
      break;
  }
  return (truth ? "where \"" : "where not \"") + atom.name + "\"";
}

std::string LiteralOption(const BuildAtom& atom, bool truth) {
  switch (atom.kind) {
    case BuildAtom::Kind::kSet:
    case BuildAtom::Kind::kModule:
      return (truth ? "--define " : "--undefine ") + atom.name;
    case BuildAtom::Kind::kEquals:
      return truth ? "--define " + atom.name + "=" + atom.value : "--undefine " + atom.name;
    case BuildAtom::Kind::kOpaque:
      break;
  }
  return {};
}

namespace {

// Whether two atoms test the same variable (kSet and kEquals of one name).

// What `known` (holding `truth`) says of `asked`, another atom of the same
// variable, or nullopt.
std::optional<bool> Implied(const BuildAtom& known, bool truth, const BuildAtom& asked) {
  using Kind = BuildAtom::Kind;
  if (known.kind == Kind::kEquals && truth) {
    if (asked.kind == Kind::kSet) return true;
    return SameFolded(asked.value, known.value);
  }
  if (known.kind == Kind::kSet && !truth && asked.kind == Kind::kEquals) return false;
  return std::nullopt;
}

}  // namespace

std::optional<bool> CubeDecides(const AtomTable& atoms, const Cube& cube, uint32_t atom) {
  for (Literal literal : cube) {
    if (AtomOf(literal) == atom) return TruthOf(literal);
  }
  for (Literal literal : cube) {
    const BuildAtom& known = atoms[AtomOf(literal)];
    if (!atoms.SameVariable(AtomOf(literal), atom)) continue;
    if (std::optional<bool> implied = Implied(known, TruthOf(literal), atoms[atom])) {
      return implied;
    }
  }
  return std::nullopt;
}

bool AddLiteral(Cube* cube, Literal literal) {
  const auto at = std::lower_bound(cube->begin(), cube->end(), literal & ~1u);
  if (at != cube->end() && AtomOf(*at) == AtomOf(literal)) return *at == literal;
  cube->insert(at, literal);
  return true;
}

bool CubeConsistent(const AtomTable& atoms, const Cube& cube) {
  for (size_t i = 0; i < cube.size(); ++i) {
    if (!atoms.SharesVariable(AtomOf(cube[i]))) continue;
    const BuildAtom& a = atoms[AtomOf(cube[i])];
    // Only X=V holding and X unset say anything of another atom of X: the
    // other literals are passed over before any name is compared.
    const bool says = a.kind == BuildAtom::Kind::kEquals ? TruthOf(cube[i])
                      : a.kind == BuildAtom::Kind::kSet  ? !TruthOf(cube[i])
                                                         : false;
    if (!says) continue;
    for (size_t j = 0; j < cube.size(); ++j) {
      if (i == j || !atoms.SameVariable(AtomOf(cube[i]), AtomOf(cube[j]))) continue;
      const std::optional<bool> implied = Implied(a, TruthOf(cube[i]), atoms[AtomOf(cube[j])]);
      if (implied && *implied != TruthOf(cube[j])) return false;
    }
  }
  return true;
}

std::string BuildConfiguration::Fold(std::string_view name) { return Upper(name); }

void BuildConfiguration::Define(std::string_view name, std::string_view value) {
  variables_[Fold(name)] = {std::string(name), std::string(value)};
}

void BuildConfiguration::Undefine(std::string_view name) {
  variables_[Fold(name)] = {std::string(name), std::nullopt};
}

std::optional<bool> BuildConfiguration::Decides(const BuildAtom& atom) const {
  if (atom.kind == BuildAtom::Kind::kOpaque) return std::nullopt;
  const auto found = variables_.find(Fold(atom.name));
  if (found == variables_.end()) {
    if (complete_ && atom.kind != BuildAtom::Kind::kModule) return false;
    return std::nullopt;
  }
  const std::optional<std::string>& value = found->second.value;
  if (atom.kind == BuildAtom::Kind::kEquals) return value && SameFolded(*value, atom.value);
  return value.has_value();
}

std::optional<std::string> BuildConfiguration::ValueOf(std::string_view name) const {
  const auto found = variables_.find(Fold(name));
  if (found == variables_.end()) return std::nullopt;
  return found->second.value;
}

std::string BuildConfiguration::Words() const {
  std::string words;
  for (const auto& [folded, variable] : variables_) {
    if (!words.empty()) words += ", ";
    words += variable.name;
    words += variable.value ? (*variable.value == "1" ? " set" : "=" + *variable.value) : " unset";
  }
  if (complete_) words += words.empty() ? "every variable unset" : ", every other variable unset";
  return words;
}

namespace {

// A small recursive-descent reader of a condition's tokens.
class ConditionReader {
 public:
  explicit ConditionReader(std::string_view text) : text_(text) {}

  ConditionNode Preprocessor() {
    ConditionNode node = Or([this] { return Unary(); });
    Blanks();
    if (at_ < text_.size()) return Opaque();
    return node;
  }

  bool failed() const { return failed_; }

 private:
  template <typename Operand>
  ConditionNode Or(Operand operand) {
    ConditionNode left = And(operand);
    while (Take("||")) {
      ConditionNode both{ConditionNode::Kind::kOr, {}, {}, {std::move(left), And(operand)}};
      left = std::move(both);
    }
    return left;
  }

  template <typename Operand>
  ConditionNode And(Operand operand) {
    ConditionNode left = operand();
    while (Take("&&")) {
      ConditionNode both{ConditionNode::Kind::kAnd, {}, {}, {std::move(left), operand()}};
      left = std::move(both);
    }
    return left;
  }

  ConditionNode Unary() {
    Blanks();
    if (Peek("!") && !Peek("!=")) {
      ++at_;
      return {ConditionNode::Kind::kNot, {}, {}, {Unary()}};
    }
    ConditionNode left = Primary();
    const bool equal = Take("==");
    if (equal || Take("!=")) {
      ConditionNode compare{ConditionNode::Kind::kEquals, {}, {}, {std::move(left), Primary()}};
      if (equal) return compare;
      return {ConditionNode::Kind::kNot, {}, {}, {std::move(compare)}};
    }
    return left;
  }

  ConditionNode Primary() {
    Blanks();
    if (Take("(")) {
      ConditionNode inner = Or([this] { return Unary(); });
      if (!Take(")")) failed_ = true;
      return inner;
    }
    if (Take("$(")) {
      const std::string name = Name();
      if (!Take(")") || name.empty()) failed_ = true;
      return {ConditionNode::Kind::kVariable, name, {}, {}};
    }
    if (at_ < text_.size() && text_[at_] == '"') {
      const size_t close = text_.find('"', at_ + 1);
      if (close == std::string_view::npos) {
        failed_ = true;
        at_ = text_.size();
        return {};
      }
      const std::string_view inside = text_.substr(at_ + 1, close - at_ - 1);
      at_ = close + 1;
      // "$(VAR)" alone between the quotes is the variable's value.
      if (inside.size() > 3 && inside.substr(0, 2) == "$(" && inside.back() == ')' &&
          std::all_of(inside.begin() + 2, inside.end() - 1, IsBuildNameChar)) {
        return {ConditionNode::Kind::kVariable,
                std::string(inside.substr(2, inside.size() - 3)),
                {},
                {}};
      }
      return {ConditionNode::Kind::kText, std::string(inside), {}, {}};
    }
    const std::string word = Name();
    if (word.empty()) {
      failed_ = true;
      at_ = text_.size();
      return {};
    }
    if (word == "defined") {
      Blanks();
      const bool parenthesis = Take("(");
      const std::string name = Name();
      if ((parenthesis && !Take(")")) || name.empty()) failed_ = true;
      return {ConditionNode::Kind::kDefined, name, {}, {}};
    }
    if (word.front() >= '0' && word.front() <= '9') {
      return {ConditionNode::Kind::kNumber, word, {}, {}};
    }
    return {ConditionNode::Kind::kName, word, {}, {}};
  }

  std::string Name() {
    Blanks();
    const size_t start = at_;
    while (at_ < text_.size() && IsBuildNameChar(text_[at_])) ++at_;
    return std::string(text_.substr(start, at_ - start));
  }

  void Blanks() {
    while (at_ < text_.size() && IsBlank(text_[at_])) ++at_;
  }

  bool Peek(std::string_view token) {
    Blanks();
    return text_.substr(at_, token.size()) == token;
  }

  bool Take(std::string_view token) {
    if (!Peek(token)) return false;
    at_ += token.size();
    return true;
  }

  ConditionNode Opaque() {
    failed_ = true;
    return {};
  }

  std::string_view text_;
  size_t at_ = 0;
  bool failed_ = false;
};

ConditionNode OpaqueNode(std::string_view text) {
  return {ConditionNode::Kind::kOpaque, std::string(Trim(text)), {}, {}};
}

// The text of a condition before a comment: ";" on CE lines, "//" and "/*"
// on the preprocessor's.
std::string_view ConditionBeforeComment(std::string_view text, bool preprocessor) {
  size_t end = preprocessor ? std::min(text.find("//"), text.find("/*")) : text.find(';');
  return Trim(text.substr(0, end == std::string_view::npos ? text.size() : end));
}

// Splits `text` at each "||" and "&&" outside of names, into terms joined
// by kOr and kAnd (&& binding tighter); each term read by `term`.
template <typename Term>
ConditionNode JoinTerms(std::string_view text, Term term) {
  ConditionNode any{ConditionNode::Kind::kOr, {}, {}, {}};
  size_t start = 0;
  for (;;) {
    const size_t orAt = text.find("||", start);
    std::string_view part =
        text.substr(start, orAt == std::string_view::npos ? orAt : orAt - start);
    ConditionNode all{ConditionNode::Kind::kAnd, {}, {}, {}};
    size_t from = 0;
    for (;;) {
      const size_t andAt = part.find("&&", from);
      all.kids.push_back(
          term(Trim(part.substr(from, andAt == std::string_view::npos ? andAt : andAt - from))));
      if (andAt == std::string_view::npos) break;
      from = andAt + 2;
    }
    any.kids.push_back(all.kids.size() == 1 ? std::move(all.kids.front()) : std::move(all));
    if (orAt == std::string_view::npos) break;
    start = orAt + 2;
  }
  return any.kids.size() == 1 ? std::move(any.kids.front()) : any;
}

bool IsName(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), IsBuildNameChar);
}

ConditionNode Negated(ConditionNode node, bool negated) {
  if (!negated) return node;
  return {ConditionNode::Kind::kNot, {}, {}, {std::move(node)}};
}

}  // namespace

ConditionNode ParsePreprocessorCondition(std::string_view text) {
  text = ConditionBeforeComment(text, true);
  ConditionReader reader(text);
  ConditionNode node = reader.Preprocessor();
  if (reader.failed() || text.empty()) return OpaqueNode(text);
  return node;
}

ConditionNode ParseCeCondition(std::string_view text) {
  text = ConditionBeforeComment(text, false);
  if (text.empty()) return OpaqueNode(text);
  return JoinTerms(text, [](std::string_view term) {
    bool negated = false;
    std::string_view name = term;
    std::string_view value;
    bool hasValue = false;
    size_t at = term.find("!=");
    if (at == std::string_view::npos) at = term.find("==");
    if (at != std::string_view::npos) {
      negated = term[at] == '!';
      name = Trim(term.substr(0, at));
      value = Trim(term.substr(at + 2));
      hasValue = true;
    } else {
      if (!name.empty() && name.back() == '!') {
        negated = true;
        name = Trim(name.substr(0, name.size() - 1));
      }
      at = name.find('=');
      if (at != std::string_view::npos) {
        value = Trim(name.substr(at + 1));
        name = Trim(name.substr(0, at));
        hasValue = true;
      }
    }
    if (!IsName(name) ||
        (hasValue && (value.empty() || value.find_first_of(" \t") != std::string_view::npos))) {
      return OpaqueNode(term);
    }
    if (!hasValue)
      return Negated({ConditionNode::Kind::kCeSet, std::string(name), {}, {}}, negated);
    return Negated({ConditionNode::Kind::kCeEquals, std::string(name), std::string(value), {}},
                   negated);
  });
}

ConditionNode ParseModuleCondition(std::string_view text) {
  text = ConditionBeforeComment(text, false);
  if (text.empty()) return OpaqueNode(text);
  return JoinTerms(text, [](std::string_view term) {
    bool negated = false;
    if (!term.empty() && term.front() == '!') {
      negated = true;
      term = Trim(term.substr(1));
    }
    if (!term.empty() && term.back() == '!') {
      negated = !negated;
      term = Trim(term.substr(0, term.size() - 1));
    }
    if (!IsName(term)) return OpaqueNode(term);
    return Negated({ConditionNode::Kind::kModule, std::string(term), {}, {}}, negated);
  });
}

std::string NotUnderstood(const ConditionNode& node) {
  if (node.kind == ConditionNode::Kind::kOpaque) return node.text.empty() ? "(nothing)" : node.text;
  for (const ConditionNode& kid : node.kids) {
    std::string text = NotUnderstood(kid);
    if (!text.empty()) return text;
  }
  return {};
}

}  // namespace zuv
