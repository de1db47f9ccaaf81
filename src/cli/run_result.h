#ifndef BRINDLEWAY_CLI_RUN_RESULT_H_
#define BRINDLEWAY_CLI_RUN_RESULT_H_

#include <cstddef>

#include "common/json_out.h"
#include "common/span.h"
#include "common/words.h"
#include "group/group_files.h"

/// What a run did to the autologin group, for the user it names.
struct GroupChange {
  bool created;
  bool added;
  bool removed;
  /// A line of the group differs afterwards, in either file.
  bool changed;
};

/// What an enable or a disable did, or would do in a dry run, for a program that asked with
/// --json. Filled along the run; what a run did not reach stays as it was reset.
struct RunResult {
  /// "enable" or "disable"; null for a call refused before its command word was known.
  const char* command;
  /// The name given, and as messages show it; null when none was given.
  const char* user;
  const char* shown_user;
  bool dry_run;
  /// The caller asked with --json.
  bool json;
  /// status gave the answer, an object of its own.
  bool status_answered;
  /// The exit status is 0.
  bool ok;
  /// The main configuration file, once read: its path, and its text before and after. On a
  /// refusal the text after is the text before.
  const char* path;
  bool file_read;
  Span before;
  Span after;
  /// What happened to the autologin group, or would happen in a dry run.
  GroupChange group;
  /// What the account tools printed on standard output.
  Span tool_output;
};

/// Returns the run's result, reset.
RunResult* run_result();

/// Fills |result|'s group change by reading the group files again and comparing them with
/// |before|, as they were before the run. Files that cannot be read again count as unchanged.
void note_group_after(RunResult* result, const GroupFiles& before);

/// Fills |result|'s group change with what the group step of enable (|enable|) or of disable
/// would do, starting from |before|.
void note_group_would(RunResult* result, const GroupFiles& before, bool enable);

/// Returns true if |result|'s file would differ after a successful run.
bool file_would_change(const RunResult& result);

/// Returns true if |result|'s file or group differ afterwards.
bool result_changed(const RunResult& result);

/// Writes what the run said under one code as {"code", "message"}, the message without the
/// line feed that ends it.
void json_said(JsonOut* out, const SaidWord& said);

/// Writes the member "warnings": every warning the run said, in order.
void json_warnings(JsonOut* out);

/// Makes |result| the whole of standard output, as one JSON object (docs/result.schema.json),
/// with the run's refusal and warnings.
void answer_result_json(const RunResult& result);

#endif  // BRINDLEWAY_CLI_RUN_RESULT_H_
