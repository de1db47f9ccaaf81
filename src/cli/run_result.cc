#include "cli/run_result.h"

#include <cstdio>
#include <cstring>

#include "common/constants.h"
#include "common/json_out.h"
#include "common/message_queue.h"
#include "common/words.h"

namespace {

RunResult g_result;
// The group files as a run left them, read once for its answer.
GroupFiles g_group_after;

/// Writes a message as it was queued, without the line feed that ends it.
void json_message(JsonOut* out, const SaidWord& said) {
  std::size_t len = static_cast<std::size_t>(said.message_len);
  if (len > 0 && said.message[len - 1] == '\n') --len;
  json_string(out, said.message, len);
}

}  // namespace

void json_said(JsonOut* out, const SaidWord& said) {
  json_open(out, '{');
  json_text_at(out, "code", said.code);
  json_key(out, "message");
  json_message(out, said);
  json_close(out, '}');
}

void json_warnings(JsonOut* out) {
  json_key(out, "warnings");
  json_open(out, '[');
  std::size_t count = 0;
  const SaidWord* warnings = run_warnings(&count);
  for (std::size_t i = 0; i < count; ++i) json_said(out, warnings[i]);
  json_close(out, ']');
}

namespace {

/// Writes |text| as "KEY": its text where it is UTF-8, else null and "KEY_base64": its bytes.
void json_file_text(JsonOut* out, const char* key, Span text) {
  json_key(out, key);
  if (is_valid_utf8(text.data, text.len)) {
    json_string(out, text.data, text.len);
    return;
  }
  json_null(out);
  char key64[32];
  std::snprintf(key64, sizeof key64, "%s_base64", key);
  json_key(out, key64);
  json_base64(out, text.data, text.len);
}

void json_members(JsonOut* out, const char* key, bool listed, const char* user) {
  json_key(out, key);
  json_open(out, '[');
  if (listed) json_text(out, user);
  json_close(out, ']');
}

bool same_span(Span a, Span b) {
  return a.len == b.len && (a.len == 0 || std::memcmp(a.data, b.data, a.len) == 0);
}

}  // namespace

RunResult* run_result() {
  g_result = RunResult{};
  return &g_result;
}

void note_group_after(RunResult* result, const GroupFiles& before) {
  GroupFiles& after = g_group_after;
  static char unread[256];
  if (read_group_files(&after, unread, sizeof unread) != 0) return;
  const char* user = result->user;
  GroupChange& change = result->group;
  change.created = !before.group.present && after.group.present;
  change.added = user != nullptr && !files_list(before, user) && files_list(after, user);
  change.removed = user != nullptr && files_list(before, user) && !files_list(after, user);
  change.changed = !same_group_lines(before, after);
}

void note_group_would(RunResult* result, const GroupFiles& before, bool enable) {
  const char* user = result->user;
  GroupChange& change = result->group;
  const bool listed = user != nullptr && files_list(before, user);
  change.created = enable && !before.group.present;
  change.added = enable && !listed;
  change.removed = !enable && listed;
  change.changed = change.created || change.added || change.removed;
}

bool file_would_change(const RunResult& result) {
  return result.file_read && !same_span(result.before, result.after);
}

bool result_changed(const RunResult& result) {
  return result.group.changed || (result.ok && file_would_change(result));
}

void answer_result_json(const RunResult& result) {
  JsonOut* out = json_answer();
  json_open(out, '{');
  json_int_at(out, "format", 1);
  json_text_at(out, "command", result.command);
  json_text_at(out, "user", result.shown_user);
  json_bool_at(out, "dry_run", result.dry_run);
  json_bool_at(out, "ok", result.ok);
  json_bool_at(out, "changed", result_changed(result));
  json_key(out, "refusal");
  const SaidWord* refusal = run_refusal();
  if (result.ok || refusal == nullptr) {
    json_null(out);
  } else {
    json_said(out, *refusal);
  }
  json_warnings(out);
  json_key(out, "file");
  if (!result.file_read) {
    json_null(out);
  } else {
    json_open(out, '{');
    json_text_at(out, "path", result.path);
    json_file_text(out, "before", result.before);
    json_file_text(out, "after", result.ok ? result.after : result.before);
    json_close(out, '}');
  }
  json_key(out, "group");
  json_open(out, '{');
  json_text_at(out, "name", AUTOLOGIN_GROUP);
  json_bool_at(out, "created", result.group.created);
  json_members(out, "added", result.group.added, result.shown_user);
  json_members(out, "removed", result.group.removed, result.shown_user);
  json_close(out, '}');
  json_key(out, "tool_output");
  json_string(out, result.tool_output.data, result.tool_output.len);
  json_close(out, '}');
  json_finish(out);
  msg_out_only(out->buf, out->overflow ? 0 : out->len);
}
