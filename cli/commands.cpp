#include "cli/commands.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "cli/edit_session.h"
#include "cli/exit_codes.h"
#include "cli/output.h"
#include "cli/unified_diff.h"
#include "device/device_check.h"
#include "templates/device_template.h"
#include "templates/driver_path.h"
#include "templates/driver_text.h"
#include "templates/image_check.h"
#include "templates/template_check.h"
#include "templates/template_document.h"
#include "templates/template_file.h"
#include "templates/template_rules.h"

namespace zuv::cli {

const char kToolHelp[] =
    "Usage: zuv8620 (--file PATH | --root DIR --driver NAME) [BUILD] COMMAND [ARGUMENTS]\n"
    "\n"
    "Edits the USB-8620A device setting templates kept in a driver's registry\n"
    "text file, with the same result as the template editor and its Save.\n"
    "\n"
    "Commands:\n"
    "  list             the templates, one a line (--json)\n"
    "  show N           template N (--json)\n"
    "  get N VALUE      one value of template N: board-id, channels,\n"
    "                   differential, ao0 or ao1\n"
    "  add              adds a template and prints its number\n"
    "  remove N         removes template N\n"
    "  set N            changes template N\n"
    "  save             loads and saves with no edit\n"
    "  check            reports problems of the file; reads only (--json);\n"
    "                   --image: also the image's other .reg files\n"
    "  export           prints all templates as one JSON document\n"
    "  apply DOCUMENT   makes the templates exactly those of a document\n"
    "  edit             the templates as that document in $VISUAL or $EDITOR,\n"
    "                   applied when the editor exits with status 0\n"
    "  help [COMMAND]   this text, or the text of a command\n"
    "\n"
    "The driver file:\n"
    "  --file PATH              the file itself\n"
    "  --root DIR --driver NAME\n"
    "                           DIR/Public/Korvalent/Device_Drivers/D/D.reg,\n"
    "                           D being the first 7 characters of NAME\n"
    "  --file PATH --driver NAME\n"
    "                           the file, holding the keys of driver NAME (else\n"
    "                           the keys come from the file's absolute real path)\n"
    "A driver file, like a document, is a regular file: a folder, a FIFO or a\n"
    "device is refused before it is read.\n"
    "\n"
    "The build (each may be given more than once; the later wins):\n"
    "  --define NAME[=VALUE]    the build variable or module NAME is set (to 1)\n"
    "  --undefine NAME          NAME is unset\n"
    "  --config FILE            the variables FILE sets, NAME=VALUE a line as a\n"
    "                           build window's 'set' prints them (# comments and\n"
    "                           blank lines passed over); every other one unset\n"
    "  --environment            the variables of this environment; every other\n"
    "                           one unset\n"
    "The file is read as the image build reads it: #define, #if, #ifdef, IF,\n"
    "ELSE, ENDIF, \"; @CESYSGEN IF\", $(NAME) and #include evaluated. Without a\n"
    "build named, every build the file tells apart is read, and a template\n"
    "whose values differ by build is listed with each reading and changed only\n"
    "for a build named. With one, the commands read and edit what that build\n"
    "reads; an edit that other builds read too says so on standard error.\n"
    "\n"
    "  --help, -h               this text, or with a command the command's\n"
    "  --version                prints the tool's version\n"
    "  --                       ends the options: each word after it is the\n"
    "                           command or an operand (apply -- -doc.json)\n"
    "\n"
    "Commands that change the file take --dry-run: the file stays as it is and\n"
    "the change a save would make is printed as a unified diff. With\n"
    "--exit-code too, the exit status is 1 when the save would change the file\n"
    "and 0 when not.\n"
    "\n"
    "A change is written only when the device, reading the new file line by\n"
    "line, would find every other key and value as it was and each template as\n"
    "saved; otherwise the message names the key and value, and nothing is\n"
    "written.\n"
    "\n"
    "Exit status: 0 done; 1 check found problems, or --dry-run --exit-code\n"
    "found a change; 2 nothing done (bad\n"
    "arguments, an edit refused, a file that cannot be used), or output that\n"
    "did not reach standard output (\"zuv8620: standard output: REASON\").\n"
    "Names and text of a file are shown with control bytes and bytes that are\n"
    "not UTF-8 escaped (\\033, \\n), a name then in double quotes.\n"
    "Run 'zuv8620 COMMAND --help' for the options of a command.\n";

namespace {

// ---------------------------------------------------------------- the file

// A failure naming a file, its name quoted when it holds bytes a terminal
// must not get raw.
Failure FileFailure(const Status& status) {
  return Failure{
      ErrorText(status.Path().empty() ? status : status.WithPath(QuotedName(status.Path())))};
}

// The table from one read of the file; a file that cannot be read (or whose
// lock another program holds too long) is a failure naming it. *reserved,
// when given, gets why each slot that the table shows but the device reads
// otherwise is reserved (see ReservedText).
// A file that holds another driver's template keys and none of this
// driver's (a renamed copy) is refused as check reports it: read as a file
// without templates, its export applied to the driver's file would remove
// every template there.
TemplateTable LoadTable(Context& context, std::vector<UnshownTemplate>* reserved = nullptr) {
  TemplateTable table;
  Status otherDriver;
  const Status read =
      LoadTemplateTableReporting(table, context.path, context.fileSystem, context.driver, nullptr,
                                 reserved, context.configuration, &otherDriver);
  if (!read.ok()) throw FileFailure(read);
  if (!otherDriver.ok()) {
    throw Failure{QuotedName(context.path) + ": " + ReasonText(otherDriver)};
  }
  return table;
}

// Why template n, which the table shows, is reserved: every reason, as check
// gives it, without the template's number, joined with "; "; empty when the
// device reads the slot as the table shows it. Such a slot holds the load's
// values, which the device does not read, so they are never printed as its.
std::string ReservedText(const TemplateTable& table, const std::vector<UnshownTemplate>& reserved,
                         uint32_t n) {
  std::string text;
  if (table[n].Used == 0 || !table.IsReserved(n)) return text;
  const std::string number = "template " + std::to_string(n) + ": ";
  for (const UnshownTemplate& slot : reserved) {
    if (slot.n != n || slot.hidden) continue;
    std::string why = slot.text;
    const size_t at = why.find(number);
    if (at != std::string::npos) why.erase(at, number.size());
    text += (text.empty() ? "" : "; ") + why;
  }
  return text.empty() ? "the device reads it otherwise than a load shows it" : text;
}

// A rule's refusal of an edit of template n, in the words the command ends
// with.
Status Refused(const Status& refusal, uint32_t n) {
  if (!IsRefusal(refusal, Rule::kNoSuchTemplate)) return refusal;
  return Status::Refusal(refusal.Rule(), "template " + std::to_string(n) + ": " + refusal.Detail());
}

// The refusal of a slot the load shows as free whose template the device
// reads otherwise (reserved): its code is the tool's own (the table's rules
// number from 1); it is worded after the file's lock is let go.
constexpr int kReservedSlot = -1;
// The refusal of a `set` of a template the load shows but the device reads
// otherwise (reserved) that asks for the values the load shows: the Save
// would write nothing, yet those are not the values the device reads, so it
// is refused as a change of the template is, in the Save's words.
constexpr int kReservedUnchanged = -2;

// Refuses slot n when it is reserved and holds no template shown.
Status RefuseReserved(const TemplateTable& table, uint32_t n) {
  if (n < kTemplateCount && table[n].Used == 0 && table.IsReserved(n)) {
    return Status::Refusal(kReservedSlot, "template " + std::to_string(n) + " is reserved");
  }
  return {};
}

// Refuses slot n unless it holds a template.
Status UsedTemplate(const TemplateTable& table, uint32_t n) {
  Status refusal = RefuseReserved(table, n);
  if (refusal.ok() && table[n].Used == 0) refusal = Refused(RuleRefusal(Rule::kNoSuchTemplate), n);
  return refusal;
}

// The failure a refusal of the template the command names ends in; a
// reserved slot's says why the device reads it otherwise, with its lines, as
// check says it.
Failure RefusalFailure(Context& context, const Status& refusal) {
  if (refusal.condition() != Condition::kRuleRefused ||
      (refusal.Rule() != kReservedSlot && refusal.Rule() != kReservedUnchanged)) {
    return Failure{ErrorText(refusal)};
  }
  const std::string why = UnshownTemplateText(context.path, context.fileSystem, context.driver,
                                              context.n, context.configuration);
  return Failure{
      QuotedName(context.path) + ": " +
      (why.empty() ? "template " + std::to_string(context.n) + " is reserved" : why) +
      (refusal.Rule() == kReservedSlot ? "; it is not changed" : "; nothing was written")};
}

// Loads the table, lets `edit` change it (or refuse, which leaves the file
// alone), and saves it, all under the file's lock (UpdateTemplateTable), so
// that no other program's edit falls between the load and the save. With
// --dry-run nothing is written and the difference is printed instead. `edit`
// sets what to print after a real save.
using Edit = std::function<Status(TemplateTable& table, std::string& report)>;
int Change(Context& context, const Edit& edit) {
  const bool dryRun = context.args.Flag("dry-run");
  std::string report;
  Status refusal;
  const UpdateResult result = UpdateTemplateTable(
      context.path,
      [&](TemplateTable& table) {
        refusal = edit(table, report);
        return refusal;
      },
      dryRun, context.fileSystem, context.driver, context.configuration);
  if (!refusal.ok()) throw RefusalFailure(context, refusal);
  if (!result.status.ok()) throw FileFailure(result.status);

  if (dryRun) {
    // The diff is of the text, also for a UTF-16 file; its lines are the
    // file's own, and its names as GNU diff writes them, so that the diff
    // applies with patch -p0 or git apply -p0. A file whose bytes are not its
    // text says so first (patch and git apply pass over such a line).
    if (result.beforeText != result.before && result.afterText != result.beforeText) {
      context.out << "# " << TextEncodingName(DetectEncoding(result.before))
                  << " file: the diff is of its decoded text (UTF-8)\n";
    }
    context.out << UnifiedDiff(result.beforeText, result.afterText,
                               DiffHeaderName(context.path, "(as it is)"),
                               DiffHeaderName(context.path, "(after save)"));
  } else {
    context.out << report;
  }
  for (const std::string& note : result.notes) {
    context.err << kToolName << ": " << QuotedName(context.path) << ": " << ShownText(note) << "\n";
  }
  // --exit-code: as a diff tells a script whether the files differ.
  if (dryRun && context.args.Flag("exit-code") && result.after != result.before) {
    return kExitChanges;
  }
  return kExitOk;
}

// ---------------------------------------------------------------- handlers

int Help(Context& context) {
  if (context.args.positional.empty()) {
    context.out << kToolHelp;
    return kExitOk;
  }
  const CommandInfo* command = FindCommand(context.args.positional[0]);
  if (command == nullptr)
    throw Failure{"unknown command '" + context.args.positional[0] + "'", true};
  context.out << command->help;
  return kExitOk;
}

// A reserved template is listed with why instead of its values.
int List(Context& context) {
  std::vector<UnshownTemplate> unshown;
  const TemplateTable table = LoadTable(context, &unshown);
  std::map<uint32_t, std::string> reserved;
  std::map<uint32_t, std::vector<TemplateVariant>> readings;
  for (uint32_t n = 0; n < kTemplateCount; ++n) {
    std::string why = ReservedText(table, unshown, n);
    if (!why.empty()) reserved.emplace(n, std::move(why));
  }
  for (const UnshownTemplate& slot : unshown) {
    if (!slot.variants.empty() && reserved.count(slot.n) != 0) readings[slot.n] = slot.variants;
  }
  if (context.args.Flag("json")) {
    context.out << ListJson(context.path, table, reserved, readings);
  } else {
    for (uint32_t n = 0; n < kTemplateCount; ++n) {
      if (reserved.count(n) != 0) {
        context.out << n << ": reserved: " << ShownText(reserved[n]) << "\n";
      } else if (table[n].Used != 0) {
        context.out << ListLine(table[n], n) << "\n";
      }
    }
  }
  return kExitOk;
}

int Show(Context& context) {
  std::vector<UnshownTemplate> unshown;
  const TemplateTable table = LoadTable(context, &unshown);
  const Status refusal = UsedTemplate(table, context.n);
  if (!refusal.ok()) throw RefusalFailure(context, refusal);
  const std::string reserved = ReservedText(table, unshown, context.n);
  // A template whose readings differ by build is shown as each build reads
  // it; it has no one value to get.
  for (const UnshownTemplate& slot : unshown) {
    if (slot.n == context.n && !slot.variants.empty() && !context.args.Flag("json")) {
      if (context.get) {
        throw Failure{QuotedName(context.path) + ": template " + std::to_string(context.n) +
                      " reads otherwise by build; to get one value, " +
                      VariantsWayForward(slot.variants) + " (see show)"};
      }
      context.out << ReadingsText(slot.variants, context.n);
      return kExitOk;
    }
  }
  if (!reserved.empty()) {
    throw Failure{QuotedName(context.path) + ": template " + std::to_string(context.n) +
                  " is reserved: " + reserved};
  }
  const DeviceTemplate& slot = table[context.n];
  if (context.get) {
    std::string value;
    ShowField(slot, context.args.positional[1], &value);
    context.out << value << "\n";
    return kExitOk;
  }
  context.out << (context.args.Flag("json") ? TemplateJson(slot, context.n)
                                            : ShowText(slot, context.n));
  return kExitOk;
}

// One value of template N, as show words it, for a script.
int Get(Context& context) {
  std::string value;
  if (!ShowField(DeviceTemplate(), context.args.positional[1], &value)) {
    throw Failure{
        "get: unknown value '" + context.args.positional[1] + "' (one of " + kShowFields + ")",
        true};
  }
  context.get = true;
  return Show(context);
}

int Add(Context& context) {
  std::optional<uint32_t> boardId;
  if (const std::string* text = context.args.Value("board-id")) boardId = ParseBoardId(*text);
  return Change(context, [&](TemplateTable& table, std::string& report) {
    uint32_t n = 0;
    Status refusal = Refused(AddTemplate(table, &n), n);
    if (refusal.ok() && boardId) refusal = Refused(SetBoardId(table, n, *boardId), n);
    report = std::to_string(n) + "\n";
    return refusal;
  });
}

int Remove(Context& context) {
  return Change(context, [&](TemplateTable& table, std::string&) {
    const Status reserved = RefuseReserved(table, context.n);
    return reserved.ok() ? Refused(RemoveTemplate(table, context.n), context.n) : reserved;
  });
}

int Set(Context& context) {
  const Arguments& args = context.args;
  std::optional<uint32_t> boardId;
  std::optional<PairSelection> pairs[2];  // [0] differential, [1] single-ended
  std::optional<int> ranges[2];
  if (const std::string* text = args.Value("board-id")) boardId = ParseBoardId(*text);
  const char* pairOptions[2] = {"differential", "single-ended"};
  for (int i = 0; i < 2; ++i) {
    if (const std::string* text = args.Value(pairOptions[i])) {
      pairs[i] = ParsePairList(*text);
      if (!pairs[i]) {
        throw Failure{std::string("--") + pairOptions[i] + " '" + *text +
                          "': give pair numbers 0 to 7 separated by commas, or all",
                      true};
      }
    }
  }
  if (pairs[0] && pairs[1]) {
    if (pairs[0]->all && pairs[1]->all) {
      throw Failure{"--differential all and --single-ended all contradict each other", true};
    }
    if ((pairs[0]->bits & pairs[1]->bits) != 0 && !pairs[0]->all && !pairs[1]->all) {
      throw Failure{"--differential and --single-ended name the same pair", true};
    }
  }
  for (int i = 0; i < 2; ++i) {
    const std::string option = "ao" + std::to_string(i);
    if (const std::string* text = args.Value(option)) {
      ranges[i] = ParseAoRangeLabel(*text);
      if (!ranges[i]) {
        throw Failure{"--" + option + " '" + *text + "': " + RefusalText(Rule::kNoSuchRange), true};
      }
    }
  }
  if (!boardId && !pairs[0] && !pairs[1] && !ranges[0] && !ranges[1]) {
    throw Failure{"set: nothing to change (see 'zuv8620 set --help')", true};
  }

  const uint32_t n = context.n;
  return Change(context, [&](TemplateTable& table, std::string&) {
    Status refusal = UsedTemplate(table, n);
    if (refusal.ok() && boardId) refusal = Refused(SetBoardId(table, n, *boardId), n);
    if (!refusal.ok()) return refusal;
    DeviceTemplate& slot = table[n];
    const DeviceTemplate loaded = slot;
    // Set All first, as the whole word; then single pairs, two bits each.
    for (int i = 0; i < 2; ++i) {
      if (pairs[i] && pairs[i]->all) SetAllChannelPairs(slot, i == 0);
    }
    for (int i = 0; i < 2; ++i) {
      if (!pairs[i] || pairs[i]->all) continue;
      for (int k = 0; k < kChannelPairCount; ++k) {
        if ((pairs[i]->bits & PairBits(k)) != 0) SetChannelPair(slot, k, i == 0);
      }
    }
    for (int i = 0; i < 2 && refusal.ok(); ++i) {
      if (ranges[i]) refusal = Refused(SetAoRange(slot, i, *ranges[i]), n);
    }
    if (refusal.ok() && table.IsReserved(n) && SameSlot(slot, loaded)) {
      refusal = Status::Refusal(kReservedUnchanged, "template " + std::to_string(n) +
                                                        " is reserved; nothing was written");
    }
    return refusal;
  });
}

int Save(Context& context) {
  return Change(context, [](TemplateTable&, std::string&) { return Status(); });
}

// What the image's other .reg files do to the driver's templates: the image
// root is --root's, or else the folder above Public/Korvalent/Device_Drivers
// in the file's real path.
std::vector<TemplateProblem> CheckImageOf(Context& context) {
  std::string root = ImageRoot(context.args);
  if (root.empty()) root = ImageRootOf(context.fileSystem.RealPath(context.path));
  if (root.empty()) {
    throw Failure{"check --image: " + QuotedName(context.path) +
                  " lies in no image tree (ROOT/Public/Korvalent/Device_Drivers/...); name the "
                  "image's root with --root DIR"};
  }
  ImageReport report;
  const TemplateKeys keys =
      TemplateKeysOf(DriverKeyPath(context.path, context.fileSystem, context.driver));
  const Status walked = CheckImage(context.fileSystem, root, context.path, keys, &report, {},
                                   nullptr, context.configuration);
  if (!walked.ok()) throw FileFailure(walked);
  return ImageProblems(report);
}

int Check(Context& context) {
  std::vector<TemplateProblem> problems;
  std::string encoding;
  const Status read = CheckTemplateFile(context.path, context.fileSystem, &problems, &encoding,
                                        context.driver, context.configuration);
  if (!read.ok()) throw FileFailure(read);
  if (context.args.Flag("image")) {
    const std::vector<TemplateProblem> image = CheckImageOf(context);
    problems.insert(problems.end(), image.begin(), image.end());
  }
  context.out << (context.args.Flag("json") ? CheckJson(context.path, encoding, problems)
                                            : CheckText(encoding, problems));
  return problems.empty() ? kExitOk : kExitProblems;
}

// A reserved template is left out of the document (apply then leaves it as
// it is), with a note saying why.
std::string ExportText(Context& context, std::string* notes) {
  std::vector<UnshownTemplate> unshown;
  TemplateTable table = LoadTable(context, &unshown);
  for (uint32_t n = 0; n < kTemplateCount; ++n) {
    const std::string reserved = ReservedText(table, unshown, n);
    if (reserved.empty()) continue;
    *notes += std::string(kToolName) + ": " + QuotedName(context.path) + ": template " +
              std::to_string(n) + " is reserved and not exported: " + ShownText(reserved) + "\n";
    table[n].Used = 0;
  }
  return ExportTemplateDocument(table);
}

int Export(Context& context) {
  std::string notes;
  context.out << ExportText(context, &notes);
  context.err << notes;
  return kExitOk;
}

// Why standard input cannot be read as a document: empty for a regular file,
// a pipe or a socket; a folder, a terminal or another device is refused
// before anything is read (a terminal would wait for typing).
std::string StandardInputRefusal() {
  struct stat info;
  if (::fstat(0, &info) != 0) return std::strerror(errno);
  const auto type = info.st_mode & S_IFMT;
  if (type == S_IFREG || type == S_IFIFO) return {};
#ifdef S_IFSOCK
  if (type == S_IFSOCK) return {};
#endif
  return std::string("not a regular file or a pipe") + (type == S_IFDIR ? " (a folder)"
                                                        : type == S_IFCHR
                                                            ? " (a terminal or another device)"
                                                            : "");
}

// The bytes of a document, at most kDocumentByteLimit of them, from a file
// or standard input: what the name opens is looked at before it is read (a
// folder is refused; a pipe, a FIFO or a device by name is read to its end),
// and no read takes more than the limit and one.
std::string ReadDocument(Context& context, const std::string& source, const std::string& name) {
  const std::string tooLarge = name + ": a document is at most " +
                               std::to_string(kDocumentByteLimit >> 20) + " MiB (" +
                               std::to_string(kDocumentByteLimit) + " bytes)";
  std::string text;
  char chunk[65536];
  if (source == "-") {
    if (context.standardInput) {
      const std::string refusal = StandardInputRefusal();
      if (!refusal.empty()) throw Failure{name + ": " + refusal};
    }
    std::ptrdiff_t got = 0;
    while (text.size() <= kDocumentByteLimit && (got = context.in.Read(chunk, sizeof chunk)) > 0) {
      text.append(chunk, static_cast<size_t>(got));
    }
    if (got < 0) throw Failure{name + ": cannot be read"};
  } else {
    // A pipe by name (/dev/stdin, a FIFO, <(...)) or a device is read to its
    // end as standard input is, opened once: a FIFO opened to be looked at
    // and closed would lose what its writer put in it.
    std::string why;
    if (IsStream(source)) {
      if (!ReadStream(source, kDocumentByteLimit, &text, &why)) throw Failure{name + ": " + why};
      if (text.size() > kDocumentByteLimit) throw Failure{tooLarge + ", this one is larger"};
      return text;
    }
    StatusOr<std::unique_ptr<File>> opened = context.fileSystem.OpenForReading(source);
    if (!opened.ok()) {
      if (opened.status().condition() == Condition::kNotRegularFile) {
        throw Failure{name +
                      ": not a regular file (give a document file, or - for standard input)"};
      }
      throw Failure{ErrorText(opened.status().WithPath(name))};
    }
    uint64_t size = 0;
    const Status read = ReadFrom(**opened, kDocumentByteLimit, &text, &size);
    if (!read.ok()) throw Failure{ErrorText(read.WithPath(name))};
    if (size > kDocumentByteLimit) {
      throw Failure{tooLarge + ", this one " + std::to_string(size) + " bytes"};
    }
  }
  if (text.size() > kDocumentByteLimit) throw Failure{tooLarge + ", this one is larger"};
  return text;
}

// Makes the file's templates those of the document `text`, which messages
// call `name`. With `exported`, the document was made from that export of
// the file, and the file is left alone when its templates are no longer the
// ones exported (another program changed them meanwhile).
int ApplyText(Context& context, const std::string& text, const std::string& name,
              const std::string* exported = nullptr, bool* changedOnDisk = nullptr) {
  std::vector<DocumentTemplate> templates;
  const Status parsed = ParseTemplateDocument(text, &templates);
  if (!parsed.ok()) throw Failure{ErrorText(parsed.WithPath(name))};
  std::string notes;
  const int status = Change(context, [&](TemplateTable& table, std::string&) {
    notes.clear();
    if (exported != nullptr) {
      TemplateTable shown = table;
      for (uint32_t n = 0; n < kTemplateCount; ++n) {
        if (shown.IsReserved(n)) shown[n].Used = 0;
      }
      if (ExportTemplateDocument(shown) != *exported) {
        *changedOnDisk = true;
        return Status::Of(Condition::kChangedOnDisk, "").WithPath(QuotedName(context.path));
      }
    }
    for (uint32_t n = 0; n < kTemplateCount; ++n) {
      bool named = false;
      for (const DocumentTemplate& wanted : templates) named |= wanted.number == n;
      if (table[n].Used != 0 && table.IsReserved(n) && !named) {
        notes += std::string(kToolName) + ": " + QuotedName(context.path) + ": template " +
                 std::to_string(n) + " is reserved and left as it is (see check)\n";
      }
    }
    const Status applied = ApplyTemplateDocument(table, templates);
    return applied.ok() ? applied : applied.WithPath(name);
  });
  context.err << notes;
  return status;
}

int Apply(Context& context) {
  const std::string& source = context.args.positional[0];
  const std::string name = source == "-" ? "standard input" : QuotedName(source);
  return ApplyText(context, ReadDocument(context, source, name), name);
}

// Asks on standard error whether to edit again; true for an answer that
// starts with y or an empty one.
bool AskAgain(Context& context) {
  context.err << "Edit again? [Y/n] ";
  context.err.Flush();
  char c = '\0';
  std::string answer;
  while (context.in.Read(&c, 1) == 1 && c != '\n') answer += c;
  const size_t start = answer.find_first_not_of(" \t");
  return start == std::string::npos || answer[start] == 'y' || answer[start] == 'Y';
}

// The templates as the export document in the user's editor; what was saved
// is applied when the editor exits with status 0, and nothing when the text
// is as exported. A document refused is offered for another edit when
// someone is at the terminal; else it is kept in its file, which the
// message names.
int EditInEditor(Context& context) {
  std::string notes;
  const std::string exported = ExportText(context, &notes);
  context.err << notes;
  std::string why;
  const std::string document = CreatePrivateFile(exported, &why);
  if (document.empty()) throw Failure{"edit: " + why};
  const bool ask = context.standardInput && StandardInputIsTerminal();
  const std::string name = QuotedName(document);
  while (true) {
    const int editor = RunEditor(document, &why);
    if (editor != 0) {
      RemovePrivateFile(document);
      throw Failure{"edit: " +
                    (editor < 0 ? why : "the editor exited with status " + std::to_string(editor)) +
                    "; nothing was changed"};
    }
    std::string text;
    try {
      text = ReadDocument(context, document, name);
    } catch (const Failure&) {
      RemovePrivateFile(document);
      throw;
    }
    if (text == exported) {
      RemovePrivateFile(document);
      return kExitOk;
    }
    std::string refusal;
    bool changedOnDisk = false;
    try {
      const int status = ApplyText(context, text, name, &exported, &changedOnDisk);
      RemovePrivateFile(document);
      return status;
    } catch (const Failure& failure) {
      refusal = failure.message;
    }
    context.err << kToolName << ": " << ShownText(refusal) << "\n";
    // Edited again, a document made from the old export would meet the same.
    if (changedOnDisk || !ask || !AskAgain(context)) {
      throw Failure{"the edited document is kept in " + name};
    }
  }
}

}  // namespace

const std::vector<CommandInfo>& Commands() {
  // One command a block: its name, operand and options on the first line.
  // clang-format off
  static const std::vector<CommandInfo> commands = {
      {"list", Operand::kNone, {"json"},
       "Usage: zuv8620 FILE list [--json]\n"
       "\n"
       "Lists the templates of the file, one a line: its number, its board id,\n"
       "the channel mask in hex with the differential pairs, and the range of\n"
       "each analog output. --json prints the same as one JSON object.\n"
       "A template that the device reads otherwise than a load shows it (a copy\n"
       "in a block the build leaves out, copies in each branch of a condition:\n"
       "see check) is reserved: listed as \"N: reserved: \" and why, with its\n"
       "lines and conditions (with --json under \"reserved\"), never with values\n"
       "the device does not read; no command changes it.\n",
       List},
      {"show", Operand::kTemplateNumber, {"json"},
       "Usage: zuv8620 FILE show N [--json]\n"
       "\n"
       "Shows template N (0 to 15): board id, channel mask, differential and\n"
       "single-ended pairs, and each analog output's range and code. A reserved\n"
       "template (see list) is not shown: the message says why.\n",
       Show},
      {"get", Operand::kTemplateField, {},
       "Usage: zuv8620 FILE get N VALUE\n"
       "\n"
       "Prints one value of template N (0 to 15) as 'show' words it, on one line:\n"
       "  board-id       the board id (\"3\")\n"
       "  channels       the channel mask in hex (\"0x0003\")\n"
       "  differential   the differential pairs (\"0,1\", or \"none\")\n"
       "  ao0, ao1       the analog output's range (\"0 ~ 10V\"), without its code\n"
       "A template that is reserved, or whose readings differ by build (name a\n"
       "build), has no value to get: the message says why.\n",
       Get},
      {"add", Operand::kNone, {"board-id", "dry-run", "exit-code"},
       "Usage: zuv8620 FILE add [--board-id ID] [--dry-run [--exit-code]]\n"
       "\n"
       "Adds a template in the first free slot, as the editor's Add does, saves,\n"
       "and prints the new template's number. Its board id is the slot's own,\n"
       "or the lowest one no template uses; --board-id ID (0 to 15) chooses it,\n"
       "unless another template has it (\"SwitchID already used!\").\n"
       "With 16 templates the file is left alone (\"Support up to 16 Templates\").\n",
       Add},
      {"remove", Operand::kTemplateNumber, {"dry-run", "exit-code"},
       "Usage: zuv8620 FILE remove N [--dry-run [--exit-code]]\n"
       "\n"
       "Removes template N (0 to 15) and saves: its section leaves the file.\n",
       Remove},
      {"set", Operand::kTemplateNumber,
       {"board-id", "differential", "single-ended", "ao0", "ao1", "dry-run", "exit-code"},
       "Usage: zuv8620 FILE set N [OPTIONS] [--dry-run [--exit-code]]\n"
       "\n"
       "Changes template N (0 to 15) and saves.\n"
       "  --board-id ID          board id 0 to 15, refused when another template\n"
       "                         has it (\"SwitchID already used!\")\n"
       "  --differential PAIRS   makes these channel pairs differential\n"
       "  --single-ended PAIRS   makes these channel pairs single-ended\n"
       "  --ao0 RANGE            range of analog output 0\n"
       "  --ao1 RANGE            range of analog output 1\n"
       "\n"
       "PAIRS: pair numbers 0 to 7 separated by commas (pair k is channels 2k\n"
       "and 2k+1; only their two bits change), or \"all\", which sets the whole\n"
       "mask to 0xFFFF (differential) or 0 (single-ended). An \"all\" is applied\n"
       "before the pairs of the other option.\n"
       "RANGE: \"0 ~ 5V\", \"0 ~ 10V\", \"-5 ~ 5V\" or \"-10 ~ 10V\", also without\n"
       "blanks or the V (\"-5~5\"). The output's code stays as it is.\n",
       Set},
      {"save", Operand::kNone, {"dry-run", "exit-code"},
       "Usage: zuv8620 FILE save [--dry-run [--exit-code]]\n"
       "\n"
       "Loads the templates and saves them with no edit, as pressing Save in the\n"
       "editor without a change does: sections without a \"SwitchID\" leave the\n"
       "file and every template's values are written in their standard form.\n",
       Save},
      {"check", Operand::kNone, {"json", "image"},
       "Usage: zuv8620 FILE check [--image] [--json]\n"
       "\n"
       "Reads the file, names its encoding (8-bit, UTF-8 with a mark, UTF-16 LE\n"
       "or BE with a mark; UTF-32 and UTF-16 without a mark are read but never\n"
       "written), and reports UTF-16 text that does not decode, an encoding never\n"
       "written and NUL bytes; template sections under another driver's key (a\n"
       "renamed copy: name the driver with --driver NAME beside --file); with a\n"
       "line number, each place where the device would read a template otherwise\n"
       "than 'list' and the editor show it (a later line or key overriding a\n"
       "value, a template the device reads that a load does not show); then, with\n"
       "the template's number: board ids used twice or above 15, template\n"
       "sections without \"SwitchID\" (not shown, and never written until they\n"
       "have one), values of the\n"
       "wrong type, analog-output texts that do not parse or match no range, and\n"
       "channel masks whose pairs have two unequal bits or that have bits above\n"
       "15. Exit status 1 when it found any.\n"
       "\n"
       "--json prints the file, its encoding and each problem as an object with\n"
       "\"kind\" (a name that stays as it is, listed in zuv8620(1)), \"file\",\n"
       "\"line\" (or null), \"template\" (or null) and \"message\".\n"
       "\n"
       "--image also reads the other .reg files of the OS image, which the build\n"
       "merges with the driver file (platform.reg includes driver files,\n"
       "project.reg may override them), and names, with file and line, each one\n"
       "that sets or deletes a template's key ([...\\TemplateN], [-...\\TemplateN])\n"
       "or the driver's key above them ([...\\VOD8620_Uzore], deleted also with\n"
       "a key further up). Then it reads the files as the build merges them, under\n"
       "the build named or every build: common.reg first; then the other files by\n"
       "path, the driver file among them; then platform.reg; project.reg last; a\n"
       "file that another #includes only at that line; a later setting wins. Each\n"
       "template value the device reads from another file is named with its file,\n"
       "line, value and builds: an edit in the driver file does not reach it.\n"
       "The image is --root DIR (beside --file too: --file PATH --root DIR\n"
       "checks PATH against the image DIR), or else the folder holding\n"
       "Public/Korvalent/Device_Drivers in the file's real path. The walk reads\n"
       "only, follows no symbolic link (nor junction), looks at most at 200000\n"
       "files and folders, goes at most 24 folders below the root and reads .reg\n"
       "files (any letter case) of at most 16 MiB, UTF-16 ones decoded; what it\n"
       "could not read (a limit reached, no permission) is named, and counts as\n"
       "a problem.\n",
       Check},
      {"export", Operand::kNone, {},
       "Usage: zuv8620 FILE export\n"
       "\n"
       "Prints the file's templates as one JSON document, what 'apply' reads:\n"
       "\n"
       "  {\"format\": \"zuv8620-templates\", \"version\": 1, \"templates\": [\n"
       "    {\"number\": 0, \"boardId\": 0, \"differentialPairs\": [0],\n"
       "     \"ao0\": \"0 ~ 10V\", \"ao1\": \"-5 ~ 5V\"}]}\n"
       "\n"
       "A channel mask that is not whole pairs (a pair half set, bits above 15)\n"
       "is given as \"channelMask\" instead of \"differentialPairs\". An output\n"
       "whose code is not 0 is {\"range\": \"0 ~ 5V\", \"code\": C}; one whose ends\n"
       "match none of the four ranges is {\"refHigh\": H, \"refLow\": L} with the\n"
       "numbers the file holds. So applying the export to the file it came from\n"
       "changes no byte of a file that was saved by the editor or this tool.\n"
       "A reserved template (see list) is left out, with a note on standard\n"
       "error.\n",
       Export},
      {"apply", Operand::kDocument, {"dry-run", "exit-code"},
       "Usage: zuv8620 FILE apply DOCUMENT [--dry-run [--exit-code]]\n"
       "\n"
       "Makes the file's templates exactly those of DOCUMENT (a file, a pipe by\n"
       "name such as /dev/stdin or <(...), a FIFO, or - for standard input), a\n"
       "JSON document as 'export' prints it, in one load and\n"
       "save: templates the document leaves out are removed, the others added\n"
       "or changed. Applying the same document again changes no byte. A reserved\n"
       "template (see list) that the document leaves out stays as it is, with a\n"
       "note on standard error.\n"
       "\n"
       "Fields a template may leave out get what the editor's Add gives:\n"
       "  \"number\"               the first slot that no numbered template of\n"
       "                         the document takes, in the document's order\n"
       "  \"differentialPairs\"    no pair: every channel single-ended (mask 0)\n"
       "    or \"channelMask\"\n"
       "  an output's \"code\"     0\n"
       "A board id above 15 is taken only when the template of that number\n"
       "already has it in the file.\n"
       "\n"
       "Refused, the file left as it is, with a message saying where and why: a\n"
       "document that is not JSON, of another format or version, with a field\n"
       "missing, unknown or of the wrong type; more than 16 templates (\"Support\n"
       "up to 16 Templates\"); two with one board id (\"SwitchID already used!\");\n"
       "a number outside 0 to 15 or used twice; an output range that is none of\n"
       "\"0 ~ 5V\", \"0 ~ 10V\", \"-5 ~ 5V\", \"-10 ~ 10V\" (also without blanks or\n"
       "the V, as 'set' takes them: \"-5~5\").\n"
       "\n"
       "Limits, refused while the document is read, with its line and column: at\n"
       "most 16 MiB (a folder is refused); nesting at most 64\n"
       "deep; at most 10000 values; at most 16 templates; each field once in an\n"
       "object; nothing after the document, and no NUL byte. A number out of its\n"
       "field's range is refused as out of range. Messages quote at most 80\n"
       "bytes of a value.\n",
       Apply},
      {"edit", Operand::kNone, {},
       "Usage: zuv8620 FILE edit\n"
       "\n"
       "Opens the templates, as the JSON document 'export' prints, in the editor\n"
       "that $VISUAL names, else $EDITOR, else vi (on Windows %VISUAL%, %EDITOR%,\n"
       "else notepad). When the editor exits with status 0, what was saved is\n"
       "applied as 'apply' does; a document left as it was changes nothing.\n"
       "The document is kept while it is edited in a new file of the temporary\n"
       "folder ($TMPDIR, else /tmp) that only its owner can read and write.\n"
       "\n"
       "A document that is refused (not JSON, a rule broken, the file's templates\n"
       "changed by another program meanwhile) is not applied: the message says\n"
       "why, and when standard input is a terminal asks whether to edit it again;\n"
       "otherwise the tool exits with status 2, keeping the edited document in\n"
       "the file the message names. An editor that exits with another status\n"
       "changes nothing.\n",
       EditInEditor},
      {"help", Operand::kCommandName, {}, "Usage: zuv8620 help [COMMAND]\n", Help},
  };
  // clang-format on
  return commands;
}

const CommandInfo* FindCommand(std::string_view name) {
  for (const CommandInfo& command : Commands()) {
    if (name == command.name) return &command;
  }
  return nullptr;
}

}  // namespace zuv::cli
