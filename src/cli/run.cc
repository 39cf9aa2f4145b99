#include "cli/run.h"

#include <string>
#include <string_view>

#include "clean/run_state.h"
#include "cli/break_handler.h"
#include "cli/command_line.h"
#include "cli/file_spec.h"
#include "mpeg/frame_header.h"
#include "platform/console.h"
#include "platform/dir.h"
#include "platform/signals.h"

namespace scourby {
namespace {

void PrintLine(std::string_view text = {}) { platform::WriteStdoutLine(text); }

// One row of the two-column option table: the second slash stands in
// column 40.
std::string OptionRow(std::string_view left, std::string_view right) {
  std::string row = "  ";
  row += left;
  row.resize(39, ' ');
  row += right;
  return row;
}

void PrintHelp() {
  PrintLine("Removes all trash (ID3-tags, images, comments, lyrics or broken frames) from");
  PrintLine("mp3 files. Advanced mp3-frame scanner which removes all non-frame data. This");
  PrintLine("also fixes any buffer-overflow bugs with WindowsXP or WinAMP.");
  PrintLine();
  PrintLine("Syntax: scourby filespec1 [filespec2 [...]] {options}");
  PrintLine();
  PrintLine("Options:");
  PrintLine(OptionRow("/V   Verbose mode", "/F   Disable frame-reconstructor"));
  PrintLine(OptionRow("/B   Save backup to filename.bak", "/C   Compatibility mode (use tempfile)"));
  PrintLine(OptionRow("/T   Save trash to filename.trash", "/S   Recurse subfolders"));
  PrintLine(OptionRow("/P   Preserve ID3v1 tags only", "/D   Preserve modification timestamp"));
  PrintLine("  /N   Dry run (nothing is changed)");
  PrintLine("  /L   List what is removed");
  PrintLine("  /E   Exit code tells what failed");
  PrintLine("  /K   Keep tags, repair the audio");
  PrintLine("See README.TXT for detailed information about these options.");
  PrintLine();
  PrintLine("Notes:");
  PrintLine("1) If the file is not an mp3 at all, it's left untouched.");
  PrintLine("2) 100% compatible with variable bitrate files.");
  PrintLine("3) An mp3-encoded WAV-file is converted to MP3-file (RIFF/WAVE-header removed).");
  PrintLine();
  PrintLine("Example: scourby \"d:\\my mp3z\\*.mp3\" c:\\download\\mysong.mp3 /T");
}

void EchoOptions(const Options& o) {
  const std::pair<std::int32_t, const char*> lines[] = {
      {o.verbose, "* Verbose mode"},
      {o.backup, "* Save backups"},
      {o.saveTrash, "* Save trash-files"},
      {o.noReconstruct, "* Frame-reconstructor disabled"},
      {o.compatibility, "* Compatibility mode"},
      {o.recurse, "* Recurse subfolders"},
      {o.keepId3v1, "* Preserve ID3v1 tags only"},
      {o.keepTimestamp, "* Preserve modification timestamps"},
      {o.dryRun, "* Dry run (nothing is changed)"},
      {o.listRemoved, "* List what is removed"},
      {o.exitStatus, "* Exit code tells what failed"},
      {o.keepTags, "* Keep tags, repair the audio"},
  };
  for (const auto& [on, text] : lines) {
    if (on) PrintLine(text);
  }
}

// With /E: 3 when a break ended the run early, else 1 when a file failed
// or a specification matched no file, else 0. Without it: always 0, as
// batch files expect.
int ExitCode(const Options& o, const RunTotals& totals) {
  if (!o.exitStatus) return 0;
  if (totals.stoppedEarly) return 3;
  return totals.filesFailed > 0 || totals.specsUnmatched > 0 ? 1 : 0;
}

int Finish(int code = 0) {
  platform::FlushStdout();
  platform::EndConsoleOutput();
  return code;
}

}  // namespace

int Main(const std::vector<std::string>& arguments) {
  platform::PrepareBreakEvents();
  platform::BeginConsoleOutput();

  PrintLine("Scourby v1.4 - MP3 cleaner by the Scourby developers");
  PrintLine("Disclaimer: Author cannot be held responsible for any damage.");
  PrintLine("Always make backups when working with important data!");
  PrintLine();

  ParsedArguments parsed = ParseArguments(arguments, platform::kPathSeparator == '\\');
  if (parsed.action == ParsedArguments::Action::kInvalidSwitch) {
    PrintLine("Invalid switch: " + parsed.invalidSwitch);
    // /E anywhere on the command line: the invalid switch is a failure.
    return Finish(parsed.options.exitStatus ? 2 : 0);
  }
  if (parsed.action == ParsedArguments::Action::kHelp) {
    PrintHelp();
    return Finish();
  }
  if (parsed.action == ParsedArguments::Action::kVersion) return Finish();

  Options& options = parsed.options;
  if (options.backup) options.compatibility = 1;
  EchoOptions(options);
  PrintLine("Use /? option for help.");
  PrintLine();

  InitFrameTables();
  RunTotals totals;

  platform::EnableProcessedInput();
  SetBreakNoticeMode(options.compatibility != 0);
  platform::RegisterBreakHandler(ConsoleBreakHandler);
  while (!parsed.specs.Empty()) {
    const std::string spec = parsed.specs.TakeNext();
    if (BreakRequested.load()) {
      totals.stoppedEarly = true;
      break;
    }
    ProcessFileSpec(spec, options, totals);
  }
  platform::RemoveBreakHandler(ConsoleBreakHandler);

  PrintLine();
  const std::string files = std::to_string(totals.filesProcessed), bytes = std::to_string(totals.bytesCleaned);
  PrintLine(options.dryRun ? "Finished! Checked " + files + " file(s) - would clean " + bytes + " bytes"
                           : "Finished! Processed " + files + " file(s) - cleaned " + bytes + " bytes");
  return Finish(ExitCode(options, totals));
}

}  // namespace scourby
