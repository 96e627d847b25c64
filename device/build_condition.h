// The conditions of an image build and the configurations that decide them.
//
// A condition line of a driver file (IF, #if, #ifdef, ; @CESYSGEN IF ...)
// tests atoms: whether a variable is set, whether it holds a value, whether
// the image holds a module. A set of configurations is a cube: the atoms it
// fixes, each true or false. A configuration named by the user decides the
// atoms it names (or every variable, when it is complete); the reader splits
// its reading on every atom it meets undecided.
#ifndef ZUV_DEVICE_BUILD_CONDITION_H
#define ZUV_DEVICE_BUILD_CONDITION_H

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zuv {

// A character of a build name (a macro, a variable, a module): ASCII letters,
// digits and '_', whatever the C library's locale says of other bytes.
inline bool IsBuildNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// What one atom tests.
struct BuildAtom {
  enum class Kind {
    kSet,     // the variable NAME is set (to any value, 0 too)
    kEquals,  // the variable NAME is set to VALUE (compared without regard to case)
    kModule,  // the image holds the module or component NAME (; @CESYSGEN IF NAME)
    kOpaque,  // a condition this reader does not understand, NAME its text
  };
  Kind kind = Kind::kSet;
  std::string name;
  std::string value;
};

// An atom's index times two, plus one when the atom is false.
using Literal = uint32_t;
inline Literal MakeLiteral(uint32_t atom, bool truth) { return atom * 2 + (truth ? 0 : 1); }
inline uint32_t AtomOf(Literal literal) { return literal / 2; }
inline bool TruthOf(Literal literal) { return literal % 2 == 0; }

// The configurations in which every literal holds; the empty cube is every
// configuration. Sorted, at most one literal an atom.
using Cube = std::vector<Literal>;

// The atoms one reading met, each once: a variable's name is compared without
// regard to ASCII case, as the build's environment does.
class AtomTable {
 public:
  uint32_t Intern(const BuildAtom& atom);
  const BuildAtom& operator[](uint32_t i) const { return atoms_[i]; }
  size_t size() const { return atoms_.size(); }
  // The atom's identity across readings: its kind, folded name and value.
  static std::string KeyOf(const BuildAtom& atom);
  // Whether two atoms have one identity (their KeyOf alike), told without
  // making either key.
  static bool SameKey(const BuildAtom& a, const BuildAtom& b);
  // Whether atoms a and b test one variable (each is "NAME is set" or
  // "NAME is VALUE"), told by numbers given as they were interned.
  bool SameVariable(uint32_t a, uint32_t b) const {
    return variables_[a] != kNoVariable && variables_[a] == variables_[b];
  }
  // Whether another atom tests atom a's variable: only then can a literal
  // of `a` contradict another literal.
  bool SharesVariable(uint32_t a) const {
    return variables_[a] != kNoVariable && variableAtoms_[variables_[a]] > 1;
  }

 private:
  static constexpr uint32_t kNoVariable = ~uint32_t{0};
  std::vector<BuildAtom> atoms_;
  std::map<std::string, uint32_t> index_;
  std::vector<uint32_t> variables_;                // each atom's variable, or kNoVariable
  std::map<std::string, uint32_t> variableIndex_;  // by the name in upper case
  std::vector<uint32_t> variableAtoms_;            // the atoms testing each variable
};

// A literal in words: "with BSP_X", "without BSP_X", "with BSP_X=2",
// "BSP_X not 2", "with module M", "without module M".
std::string LiteralWords(const BuildAtom& atom, bool truth);
// The option that names a configuration in which the literal holds:
// "--define BSP_X", "--undefine BSP_X", "--define BSP_X=2".
std::string LiteralOption(const BuildAtom& atom, bool truth);

// Whether `cube` decides `atom`, directly or through another atom of the
// same variable (X=2 holds: X is set and is not 3); nullopt when open.
std::optional<bool> CubeDecides(const AtomTable& atoms, const Cube& cube, uint32_t atom);
// Adds `literal` to `cube` in order. False, the cube unchanged, when the
// cube already holds the atom's other literal.
bool AddLiteral(Cube* cube, Literal literal);
// Whether no two literals of `cube` contradict each other (X=1 and X=2, X=1
// and X unset).
bool CubeConsistent(const AtomTable& atoms, const Cube& cube);

// The configuration the user names: variables set (to a value, "1" when none
// is given) or unset. A complete one (a build window's environment, a file of
// its variables) leaves every variable it does not set unset; modules it does
// not name stay open, as a build window's environment does not list them.
class BuildConfiguration {
 public:
  void Define(std::string_view name, std::string_view value);
  void Undefine(std::string_view name);
  // Every variable not defined is unset from now on (later Define and
  // Undefine still change single variables).
  void MakeComplete() { complete_ = true; }
  bool Named() const { return complete_ || !variables_.empty(); }
  bool Complete() const { return complete_; }
  // How this configuration decides `atom`, or nullopt when it leaves it open.
  std::optional<bool> Decides(const BuildAtom& atom) const;
  // A variable's value when the configuration sets it; nullopt when unset or
  // open.
  std::optional<std::string> ValueOf(std::string_view name) const;
  // The configuration in words: "BSP_X set, BSP_Y unset" and, when
  // complete, "every other variable unset".
  std::string Words() const;

 private:
  static std::string Fold(std::string_view name);
  struct Variable {
    std::string name;
    std::optional<std::string> value;  // nullopt: unset
  };
  std::map<std::string, Variable> variables_;  // by folded name
  bool complete_ = false;
};

// A parsed condition of one line: the expression tree an IF, #if, #elif or
// ; @CESYSGEN IF line tests. Names of the C preprocessor's macros are looked
// up when it is evaluated, for a #define may change them.
struct ConditionNode {
  enum class Kind {
    kNumber,    // number
    kDefined,   // defined NAME: a macro of the file, else the variable NAME is set
    kName,      // NAME in #if: a macro's expansion, else the variable's value
    kText,      // "text" or a word that is not a name
    kVariable,  // $(NAME)
    kEquals,    // kids[0] == kids[1]
    kNot,       // !kids[0]
    kAnd,
    kOr,
    kCeSet,     // IF NAME: the variable is set
    kCeEquals,  // IF NAME=VALUE
    kModule,    // ; @CESYSGEN IF NAME
    kOpaque,    // not understood; text says what
  };
  Kind kind = Kind::kOpaque;
  std::string text;  // the name, the number's digits, the text, the value
  std::string value;
  std::vector<ConditionNode> kids;
};

// The condition of an #if or #elif line (what follows the word).
ConditionNode ParsePreprocessorCondition(std::string_view text);
// The condition of a CE IF line (what follows IF): NAME, NAME !, NAME=VALUE,
// NAME != VALUE, NAME == VALUE, joined by || and &&.
ConditionNode ParseCeCondition(std::string_view text);
// The condition of "; @CESYSGEN IF" (what follows IF): module names, each
// with an optional "!" before or after it, joined by || and &&.
ConditionNode ParseModuleCondition(std::string_view text);
// Whether any part of the condition is not understood (its text is named).
std::string NotUnderstood(const ConditionNode& node);

}  // namespace zuv

#endif  // ZUV_DEVICE_BUILD_CONDITION_H
