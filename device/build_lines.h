// The lines of a driver file that the image build reads as structure, not as
// keys and values: the C preprocessor's "#" lines, the CE build's IF, ELSE
// and ENDIF, and the ";" lines with a meaning ("; @CESYSGEN IF ...", the
// boot hive's section marks). Their forms are one table (build_lines.cpp):
// a new directive is a new row there.
#ifndef ZUV_DEVICE_BUILD_LINES_H
#define ZUV_DEVICE_BUILD_LINES_H

#include <string_view>

namespace zuv {

// Which set of blocks a line opens, turns or closes: each family's blocks
// nest among themselves only (an ENDIF never ends an #if's block).
enum class BuildFamily { kPreprocessor, kCe, kSysgen, kNone };

enum class BuildRole {
  kNotBuildLine,  // a header, a value, a comment or a blank line
  kOpen,          // IF, #if, #ifdef, #ifndef, ; @CESYSGEN IF: the argument is the condition
  kTurnIf,        // #elif: the argument is the condition
  kTurn,          // ELSE, #else, ; @CESYSGEN ELSE
  kClose,         // ENDIF, #endif, ; @CESYSGEN ENDIF
  kDefine,        // #define NAME text
  kUndefine,      // #undef NAME
  kInclude,       // #include "path"
  kMark,          // any other build line: kept, read as nothing
};

// How an opening line's argument is read.
enum class ConditionForm { kNone, kPreprocessor, kDefined, kNotDefined, kCe, kModule };

struct BuildLine {
  BuildFamily family = BuildFamily::kNone;
  BuildRole role = BuildRole::kNotBuildLine;
  ConditionForm form = ConditionForm::kNone;
  std::string_view argument;  // what follows the directive's words, blanks dropped
};

// What `line` (blanks around it dropped) is to the build.
BuildLine ClassifyBuildLine(std::string_view line);

}  // namespace zuv

#endif  // ZUV_DEVICE_BUILD_LINES_H
