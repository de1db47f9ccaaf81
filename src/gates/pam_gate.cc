#include "gates/pam_gate.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <security/pam_appl.h>

#include "common/child_wait.h"
#include "common/clean_child.h"
#include "common/constants.h"
#include "common/i18n.h"
#include "gates/member_view.h"

// LightDM decides an automatic login with PAM: pam_authenticate, then pam_acct_mgmt, under the
// seat's pam-autologin-service, with nobody there to answer a prompt. The same stack can
// refuse an account that the configuration names (a nologin shell, an expired account, a group
// it demands), so the helper asks it too, with these rules:
//  1. PAM runs in a child process. Modules are loaded only there (libpam itself is opened with
//     dlopen, so every other run starts without it), and whatever a module does to its
//     process (signal handlers, threads, memory) ends with that child.
//  2. The child starts clean (clean_child_start): a session of its own with no controlling
//     terminal, /dev/null on its standard streams, no descriptor of the helper's but its pipe
//     (the run lock must not live on in a process a module leaves behind), no signal blocked,
//     "/" as its working directory, the umask of the front door, and an environment of PATH
//     alone. Nothing the caller chose reaches a module.
//  3. The conversation answers no prompt: a stack that wants a password refuses here as it
//     refuses LightDM. A module's delay after a failure is skipped; it changes no answer.
//  4. PAM_XDISPLAY and PAM_TTY name the X display, as LightDM names it before it authenticates
//     an X session, so that a module that decides by terminal (pam_access, pam_time,
//     pam_securetty) answers the helper as it answers LightDM.
//  5. No session is opened and no credentials are set: asking changes nothing.
//  6. A child that does not answer within CHILD_DEADLINE_MS is killed, with its process group,
//     and counts as a refusal.

namespace {

constexpr char kLibPam[] = "libpam.so.0";

// The X display item, which older PAM headers do not name; Linux-PAM has had it as item 11
// since 1.0.
#ifndef PAM_XDISPLAY
constexpr int PAM_XDISPLAY = 11;
#endif

/// What the child sends back: whether PAM answered, its result and its text, or why it could
/// not be asked.
struct Answer {
  bool asked;
  bool cannot_load;  // libpam itself cannot be loaded
  int result;
  char text[sizeof PamVerdict::reason];
};

/// The libpam functions the check uses, looked up in the child.
struct PamApi {
  decltype(&pam_start) start;
  decltype(&pam_set_item) set_item;
  decltype(&pam_authenticate) authenticate;
  decltype(&pam_acct_mgmt) acct_mgmt;
  decltype(&pam_strerror) strerror;
  decltype(&pam_end) end;
};

template <typename F>
bool look_up(void* lib, const char* name, F* fn) {
  *fn = reinterpret_cast<F>(dlsym(lib, name));
  return *fn != nullptr;
}

bool load_pam(PamApi* api) {
  void* lib = dlopen(kLibPam, RTLD_NOW | RTLD_LOCAL);
  return lib != nullptr && look_up(lib, "pam_start", &api->start) &&
         look_up(lib, "pam_set_item", &api->set_item) &&
         look_up(lib, "pam_authenticate", &api->authenticate) &&
         look_up(lib, "pam_acct_mgmt", &api->acct_mgmt) &&
         look_up(lib, "pam_strerror", &api->strerror) && look_up(lib, "pam_end", &api->end);
}

/// Answers no prompt; messages that ask for nothing are taken in silence.
int refuse_prompts(int count, const pam_message** messages, pam_response** responses,
                   void* /*data*/) {
  for (int i = 0; i < count; ++i) {
    const int style = messages[i]->msg_style;
    if (style == PAM_PROMPT_ECHO_OFF || style == PAM_PROMPT_ECHO_ON) return PAM_CONV_ERR;
  }
  *responses = static_cast<pam_response*>(std::calloc(static_cast<std::size_t>(count),
                                                      sizeof(pam_response)));
  return *responses != nullptr ? PAM_SUCCESS : PAM_BUF_ERR;
}

void no_delay(int /*status*/, unsigned /*delay*/, void* /*data*/) {}

/// What the child is asked. Its own words are the parent's to say, in the reader's language:
/// the child's environment is empty. libpam is left to speak as it does for LightDM.
struct Question {
  const char* service;
  const char* user;
  const char* display;
  /// PAM sees the user in the autologin group (view_user_in_autologin_group).
  bool as_member;
};

/// The child: asks PAM and writes the Answer to |out|.
void run_check(int out, void* arg) {
  const Question& question = *static_cast<const Question*>(arg);
  // Every byte of the answer is set, padding included: all of it goes down the pipe.
  Answer answer;
  std::memset(&answer, 0, sizeof answer);
  answer.result = PAM_SYSTEM_ERR;
  PamApi api{};
  if (question.as_member &&
      view_user_in_autologin_group(question.user, answer.text, sizeof answer.text) != 0) {
    // not asked: |answer| says why
  } else if (!load_pam(&api)) {
    answer.cannot_load = true;
  } else {
    const pam_conv conversation{refuse_prompts, nullptr};
    pam_handle_t* handle = nullptr;
    int result = api.start(question.service, question.user, &conversation, &handle);
    if (result == PAM_SUCCESS) {
      // LightDM does not look at these two answers either: a libpam without the item goes on.
      api.set_item(handle, PAM_XDISPLAY, question.display);
      api.set_item(handle, PAM_TTY, question.display);
      api.set_item(handle, PAM_FAIL_DELAY, reinterpret_cast<const void*>(&no_delay));
      result = api.authenticate(handle, PAM_SILENT);
      if (result == PAM_SUCCESS) result = api.acct_mgmt(handle, PAM_SILENT);
    }
    answer.asked = true;
    answer.result = result;
    std::snprintf(answer.text, sizeof answer.text, "%s", api.strerror(handle, result));
    if (handle != nullptr) api.end(handle, result);
  }
  // One write of less than PIPE_BUF bytes arrives whole or not at all.
  ssize_t ignored = write(out, &answer, sizeof answer);
  (void)ignored;
}

PamVerdict not_asked(const char* why) {
  PamVerdict verdict{false, false, ""};
  std::snprintf(verdict.reason, sizeof verdict.reason, "%s", why);
  return verdict;
}

PamVerdict ask_pam_in_child(const char* service, const char* user, const char* display,
                            bool as_member) {
  Question question{service, user, display, as_member};
  Answer answer{};
  ChildRun run{};
  run_clean_child(run_check, &question, ChildStreams::kNull, CHILD_DEADLINE_MS, &answer,
                  sizeof answer, &run);
  switch (run.outcome) {
    case ChildOutcome::kEnded:
      break;
    case ChildOutcome::kNotStarted:
      return not_asked(std::strerror(run.error));
    case ChildOutcome::kNotClean:
      return not_asked(_("the check could not start cleanly"));
    case ChildOutcome::kTimedOut:
    case ChildOutcome::kLeftRunning: {
      char why[sizeof PamVerdict::reason];
      describe_missed_deadline(CHILD_DEADLINE_MS, why, sizeof why);
      return not_asked(why);
    }
  }
  if (run.len != sizeof answer || run.cut || !WIFEXITED(run.status)) {
    return not_asked(_("the PAM check ended without an answer"));
  }
  answer.text[sizeof answer.text - 1] = '\0';
  if (answer.cannot_load) {
    char why[sizeof PamVerdict::reason];
    std::snprintf(why, sizeof why, _("%s cannot be loaded"), kLibPam);
    return not_asked(why);
  }
  if (!answer.asked) return not_asked(answer.text);
  PamVerdict verdict{true, answer.result == PAM_SUCCESS, ""};
  std::snprintf(verdict.reason, sizeof verdict.reason, "%s", answer.text);
  return verdict;
}

}  // namespace

PamVerdict ask_pam(const char* service, const char* user, const char* display) {
  return ask_pam_in_child(service, user, display, false);
}

PamVerdict ask_pam_as_member(const char* service, const char* user, const char* display) {
  return ask_pam_in_child(service, user, display, true);
}
