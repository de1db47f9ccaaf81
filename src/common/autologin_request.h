#ifndef BRINDLEWAY_COMMON_AUTOLOGIN_REQUEST_H_
#define BRINDLEWAY_COMMON_AUTOLOGIN_REQUEST_H_

/// What one run asks of the configuration: switch automatic login on for |user_name|, or off.
struct AutologinRequest {
  bool enable;
  /// Set only when |enable| is true. It has passed is_valid_username and names an account.
  const char* user_name;
};

#endif  // BRINDLEWAY_COMMON_AUTOLOGIN_REQUEST_H_
